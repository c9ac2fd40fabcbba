#!/usr/bin/python3
"""Writes stand-in fonts named "Segoe UI" and "Segoe MDL2 Assets" into OUTPUT_DIR.

    tools/make_standin_fonts.py OUTPUT_DIR

These fonts exist only so that screenshots taken under Wine show text and icons: Wine's
DirectWrite sees only the fonts installed on the machine and does no font fallback, and the
real Windows fonts are not available here. They are built from fonts in Debian's packages,
are never shipped with the program and never installed by it.

  Segoe UI (Regular, Bold)   Nanum Gothic (fonts-nanum): Latin and Hangul, and whatever
                             else the program's texts need borrowed from DejaVu Sans
                             (fonts-dejavu-core), Droid Sans Fallback (fonts-droid-fallback:
                             Chinese and Japanese) and Symbola
  Segoe MDL2 Assets          a few symbols of Symbola (fonts-symbola), mapped to the
                             private-use code points the program draws its icons with
"""
import array
import copy
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont
from fontTools.ttLib.tables._g_l_y_f import GlyphCoordinates
from fontTools.ttLib.tables.ttProgram import Program
from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen

NANUM = "/usr/share/fonts/truetype/nanum"
SYMBOLA = "/usr/share/fonts/truetype/ancient-scripts/Symbola_hint.ttf"
DEJAVU = "/usr/share/fonts/truetype/dejavu"
DROID = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")

# Private-use code point of the icon -> the code point of the symbol drawn for it.
ICONS = {
    0xE700: 0x2630,   # global navigation (menu): trigram for heaven
    0xE72C: 0x21BB,   # refresh: clockwise open circle arrow
    0xE8E5: 0x1F5C1,  # open file: open folder
    0xED25: 0x1F5C0,  # folder
    0xE8A5: 0x1F5CE,  # document
    0xECAA: 0x25A3,   # app: white square containing black small square
    0xE785: 0x1F513,  # unlock: open lock
}

# Name IDs that carry the family, style or full name; all their records are replaced.
NAME_IDS = (1, 2, 3, 4, 6, 16, 17, 18, 21, 22)


def rename(font, family, style):
    """Gives the font one consistent name, in English only, on the Windows and Mac platforms."""
    name = font["name"]
    name.names = [n for n in name.names if n.nameID not in NAME_IDS]
    full = family if style == "Regular" else f"{family} {style}"
    postscript = f"{family.replace(' ', '')}-{style}"
    for name_id, text in ((1, family), (2, style), (3, f"{postscript};stand-in"),
                          (4, full), (6, postscript), (16, family), (17, style)):
        name.setName(text, name_id, 3, 1, 0x409)
        name.setName(text, name_id, 1, 0, 0)
    font["OS/2"].fsType = 0  # installable: no embedding restrictions


def set_style(font, bold):
    os2, head = font["OS/2"], font["head"]
    os2.usWeightClass = 700 if bold else 400
    # fsSelection: bit 0 italic, bit 5 bold, bit 6 regular.
    os2.fsSelection = (os2.fsSelection & ~0b1100001) | (0b100000 if bold else 0b1000000)
    head.macStyle = (head.macStyle & ~0b11) | (1 if bold else 0)


def fix_backslash(font):
    """Korean fonts draw U+005C as a won sign; Windows paths need a backslash: a mirrored slash."""
    cmap, glyf, hmtx = font.getBestCmap(), font["glyf"], font["hmtx"]
    slash, backslash = cmap[ord("/")], cmap[ord("\\")]
    width = hmtx[slash][0]
    glyph = copy.deepcopy(glyf[slash])
    glyph.coordinates.transform(((-1, 0), (0, 1)))
    glyph.coordinates.translate((width, 0))
    # Mirroring turned the outlines the wrong way round: reverse the points of each contour.
    start, points, flags = 0, list(glyph.coordinates), list(glyph.flags)
    for end in glyph.endPtsOfContours:
        points[start:end + 1] = reversed(points[start:end + 1])
        flags[start:end + 1] = reversed(flags[start:end + 1])
        start = end + 1
    glyph.coordinates, glyph.flags = GlyphCoordinates(points), array.array("B", flags)
    glyph.program = Program()  # the slash's hints name its points in the old order
    glyph.program.fromBytecode(b"")
    glyph.recalcBounds(glyf)
    glyf[backslash] = glyph
    hmtx[backslash] = (width, glyph.xMin)


def shown_characters():
    """Every character of the program's own texts: the catalogue and the translations."""
    chars = set()
    language = os.path.join(ROOT, "src", "app", "language")
    sources = [os.path.join(language, n) for n in ("messages.inc", "catalogue.cpp")]
    lang = os.path.join(ROOT, "res", "lang")
    sources += [os.path.join(lang, n) for n in sorted(os.listdir(lang)) if n.endswith(".json")]
    for path in sources:
        with open(path, encoding="utf-8") as f:
            chars |= {ord(c) for c in f.read() if ord(c) > 0x7F}
    return sorted(chars)


# Characters the font has but Wine draws wrongly (Nanum Gothic's arrow loses its shaft).
REDRAWN = {0x2192}


def borrow_glyphs(font, donors):
    """Copies into `font` each shown character it lacks from the first donor that has it,
    scaled to the font's units."""
    cmap, glyf, hmtx = font.getBestCmap(), font["glyf"], font["hmtx"]
    upm = font["head"].unitsPerEm
    order = font.getGlyphOrder()
    added = {}
    for code in shown_characters():
        if code in cmap and code not in REDRAWN:
            continue
        for donor in donors:
            donor_name = donor.getBestCmap().get(code)
            if donor_name is None:
                continue
            k = upm / donor["head"].unitsPerEm
            # Accented letters are made of other glyphs: drawn out into one outline.
            glyph_set = donor.getGlyphSet()
            recording = DecomposingRecordingPen(glyph_set)
            glyph_set[donor_name].draw(recording)
            pen = TTGlyphPen(None)
            recording.replay(TransformPen(pen, (k, 0, 0, k, 0, 0)))
            glyph = pen.glyph()
            name = f"uni{code:04X}" if code <= 0xFFFF else f"u{code:05X}"
            order.append(name)
            glyf.glyphs[name] = glyph
            glyph.recalcBounds(glyf)
            hmtx[name] = (round(donor["hmtx"][donor_name][0] * k), getattr(glyph, "xMin", 0))
            added[code] = name
            break
    font.setGlyphOrder(order)
    glyf.glyphOrder = order
    for table in font["cmap"].tables:
        if table.isUnicode():
            table.cmap.update({c: n for c, n in added.items() if c <= 0xFFFF or table.format == 12})
    # Tables that list every glyph and would now be short are only hints to a renderer.
    for tag in ("hdmx", "LTSH", "VDMX"):
        if tag in font:
            del font[tag]
    if "post" in font:
        font["post"].formatType = 3.0  # no glyph names to keep in step


def save(font, path):
    # Keep the source's timestamps so that the same sources give the same bytes.
    font.recalcTimestamp = False
    font.save(path)
    print(f"wrote {path}")


def make_text_font(out_dir):
    for source, style, bold in (("NanumGothic.ttf", "Regular", False),
                                ("NanumGothicBold.ttf", "Bold", True)):
        font = TTFont(os.path.join(NANUM, source))
        # Visual TrueType's source tables are of no use to a renderer.
        for tag in [t for t in font.keys() if t.startswith("TSI")]:
            del font[tag]
        fix_backslash(font)
        dejavu = TTFont(os.path.join(DEJAVU, "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"))
        borrow_glyphs(font, [dejavu, TTFont(DROID), TTFont(SYMBOLA)])
        rename(font, "Segoe UI", style)
        set_style(font, bold)
        save(font, os.path.join(out_dir, f"SegoeUI-StandIn-{style}.ttf"))


def make_icon_font(out_dir):
    font = TTFont(SYMBOLA)
    options = subset.Options()
    options.layout_features = []
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=list(ICONS.values()) + [0x20])
    subsetter.subset(font)

    cmap = font.getBestCmap()
    missing = [hex(c) for c in ICONS.values() if c not in cmap]
    if missing:
        sys.exit(f"symbols missing from {SYMBOLA}: {', '.join(missing)}")
    for table in font["cmap"].tables:
        if table.isUnicode():
            for pua, symbol in ICONS.items():
                table.cmap[pua] = cmap[symbol]

    rename(font, "Segoe MDL2 Assets", "Regular")
    set_style(font, False)
    os2 = font["OS/2"]
    if hasattr(os2, "recalcUnicodeRanges"):
        os2.recalcUnicodeRanges(font)
    codes = [c for t in font["cmap"].tables for c in t.cmap]
    os2.usFirstCharIndex, os2.usLastCharIndex = min(codes), min(max(codes), 0xFFFF)
    save(font, os.path.join(out_dir, "SegoeMDL2Assets-StandIn.ttf"))


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} OUTPUT_DIR")
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    make_text_font(out_dir)
    make_icon_font(out_dir)


if __name__ == "__main__":
    main()
