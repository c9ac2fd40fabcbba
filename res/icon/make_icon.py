#!/usr/bin/env python3
"""Draw the Tarnwick application icon and write it as a Windows .ico file.

Usage: python3 make_icon.py OUTPUT.ico

Pure standard library so the icon can be rebuilt anywhere. The picture is a
document page with an open orange padlock over its lower right corner. Shapes
are signed distance functions; pixels near an edge are supersampled 8x8,
everything else takes the colour at the pixel centre. Output is deterministic.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SS = 8  # supersamples per axis for edge pixels

PAGE = (255, 255, 255)
OUTLINE = (122, 130, 143)
FOLD = (222, 226, 232)
TEXT = (196, 202, 211)
BODY = (234, 88, 12)        # accent #EA580C
SHACKLE = (194, 65, 12)     # a shade darker so the shackle reads as metal
KEYHOLE = (67, 20, 7)

# Per-size tuning, in pixels: page outline width, shackle thickness, clear
# gap cut around the lock, number of text lines, keyhole head radius and slot
# half-width. Keyhole sizes suit the parity of the body width so the keyhole
# sits centred on the pixel grid.
TUNING = {
    16: (1, 2, 1, 0, 0, 1), 20: (1, 2, 1, 0, 0, 1),
    24: (1, 2, 1, 2, 0, 1), 32: (1, 3, 1, 3, 2.5, 1.5),
    40: (1, 3, 1.5, 4, 3, 1), 48: (1, 4, 2, 5, 3.5, 1.5),
    64: (2, 5, 2, 5, 4, 2), 256: (5, 20, 7, 6, 17, 8),
}

# Text lines as (row, right end), fractions of the icon. They stay left of
# the lock so the cut-out around it never leaves stubs.
TEXT_ROWS = [(0.14, 0.54), (0.30, 0.38), (0.44, 0.40), (0.58, 0.32),
             (0.72, 0.30), (0.86, 0.32)]


# --- signed distance functions (negative inside) ---------------------------

def sd_box(x, y, x0, y0, x1, y1, r=0.0):
    """Rounded rectangle given by its outer edges."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    qx = abs(x - cx) - (x1 - x0) / 2 + r
    qy = abs(y - cy) - (y1 - y0) / 2 + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def sd_segment(x, y, ax, ay, bx, by, r):
    """Capsule: segment a-b thickened by r."""
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - ax - t * dx, y - ay - t * dy) - r


def sd_polygon(x, y, pts):
    """Exact distance to a simple polygon (even-odd sign)."""
    d = float("inf")
    inside = False
    for i in range(len(pts)):
        ax, ay = pts[i - 1]
        bx, by = pts[i]
        d = min(d, sd_segment(x, y, ax, ay, bx, by, 0.0))
        if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
            inside = not inside
    return -d if inside else d


# --- geometry ---------------------------------------------------------------

# The smallest sizes are laid out by hand on the pixel grid, overriding the
# proportional layout below. Boxes are (x0, y0, x1, y1, corner radius); the
# shackle is (left edge, thickness, opening, top, top radius, left leg end,
# right leg end, end cap radius).
SMALL = {
    16: {"page": [(1, 0), (10, 0), (13, 3), (13, 15), (1, 15)],
         "fold": [(10, 0), (10, 3), (13, 3)],
         "body": (6, 10, 16, 16, 1.0),
         "shackle": (7, 2, 2, 4, 1, 11, 8, 0)},
    20: {"page": [(1, 0), (11, 0), (15, 4), (15, 19), (1, 19)],
         "fold": [(11, 0), (11, 4), (15, 4)],
         "body": (6, 12, 20, 20, 1.0),
         "shackle": (8, 2, 3, 5, 1, 13, 10, 0)},
}


def layout(s):
    """Place every shape for size s, with edges on whole pixels."""
    w, t, gap, lines, kr, slot = TUNING[s]
    snap = lambda v: float(round(v * s))
    g = {"w": w, "gap": gap, "sharp": s <= 20}

    L, T, R, B, f = snap(0.08), snap(0.02), snap(0.84), snap(0.98), snap(0.18)
    g["page"] = [(L, T), (R - f, T), (R, T + f), (R, B), (L, B)]
    g["fold"] = [(R - f, T), (R - f, T + f), (R, T + f)]
    g["body"] = (snap(0.40), snap(0.58), float(s), float(s), 0.08 * s)

    # The shackle is lifted clear of the body and swung about its left leg,
    # which is why it looks narrower than the body and sits left of centre.
    x0, opening = snap(0.46), max(t, round(0.12 * s))
    ro = (2 * t + opening) / 2 if s >= 32 else t  # round top once there is room
    cap = t / 2 if s >= 40 else 0
    g["shackle"] = (x0, t, opening, snap(0.26), ro, snap(0.75), snap(0.50), cap)
    g["hull"] = s <= 48  # a sliver of page inside the shackle only looks like noise

    th = max(1, round(0.034 * s))  # text line thickness
    g["text"] = []
    for fy, x1 in (TEXT_ROWS[-lines:] if lines else []):
        y = round(fy * s - th / 2)
        g["text"].append((snap(0.16), y, snap(x1), y + th, th / 2 if s >= 48 else 0))
    g.update(SMALL.get(s, {}))

    # Keyhole: a round head over a narrow slot, or just the slot when tiny.
    kx = (g["body"][0] + g["body"][2]) / 2
    ky = round(0.73 * s - kr) + kr if kr else snap(0.69)
    g["key"] = (kx, ky, snap(0.86), kr, slot)
    return g


def sd_shackle(x, y, sh):
    """A U: the rounded top of a ring, plus two legs of different length."""
    x0, t, o, top, ro, left_end, right_end, cap = sh
    x1, x2, x3 = x0 + t, x0 + t + o, x0 + 2 * t + o  # leg edges
    cy = top + max(ro, t)  # where the straight legs begin
    outer = sd_box(x, y, x0, top, x3, cy + ro, ro)
    inner = sd_box(x, y, x1, top + t, x2, cy + ro, max(ro - t, 0))
    d = max(outer, -inner, y - cy)
    d = min(d, sd_box(x, y, x0, cy - 0.5, x1, left_end))
    return min(d, sd_box(x, y, x2, cy - 2 * cap - 0.5, x3, right_end, cap))


def grow(box, d, sharp):
    """Box enlarged by d, optionally square-cornered to keep pixels crisp."""
    x0, y0, x1, y1, r = box
    return (x0 - d, y0 - d, x1 + d, y1 + d, 0.0 if sharp else r + d)


def shade(x, y, g):
    """Colour (r, g, b, a) at a point, plus distance to the nearest edge."""
    body = sd_box(x, y, *g["body"])
    shackle = sd_shackle(x, y, g["shackle"])
    kx, ky0, ky1, head, slot = g["key"]
    key = sd_box(x, y, kx - slot, ky0, kx + slot, ky1, slot if head else 0.0)
    if head:
        key = min(key, math.hypot(x - kx, y - ky0) - head)
    # The halo is a clear gap cut out of the page around the lock.
    if g["hull"]:  # cut around the shackle's outline, opening included
        x0, t, o, top, ro, left_end = g["shackle"][:6]
        hull = (x0, top, x0 + 2 * t + o, left_end, ro)
        halo = min(sd_box(x, y, *grow(g["body"], g["gap"], g["sharp"])),
                   sd_box(x, y, *grow(hull, g["gap"], g["sharp"])))
    else:
        halo = min(body, shackle) - g["gap"]
    page = sd_polygon(x, y, g["page"])
    fold = sd_polygon(x, y, g["fold"])
    text = min([sd_box(x, y, *ln) for ln in g["text"]] or [1e9])
    edges = (body, shackle, key, halo, page, page + g["w"], fold, fold + g["w"], text)
    near = min(abs(e) for e in edges)

    if key < 0 and body < 0:
        return KEYHOLE + (1,), near
    if body < 0:
        return BODY + (1,), near
    if shackle < 0:
        return SHACKLE + (1,), near
    if halo < 0 or page >= 0:
        return (0, 0, 0, 0), near
    if page > -g["w"] or (fold < 0 and fold > -g["w"]):
        return OUTLINE + (1,), near
    if fold < 0:
        return FOLD + (1,), near
    if text < 0:
        return TEXT + (1,), near
    return PAGE + (1,), near


def render(s):
    """Return rows of straight (non-premultiplied) RGBA bytes, top row first."""
    g = layout(s)
    rows = []
    for py in range(s):
        row = bytearray()
        for px in range(s):
            (r, gr, b, a), near = shade(px + 0.5, py + 0.5, g)
            if near > 0.75:  # whole pixel is on one side of every edge
                acc = (r * a, gr * a, b * a, a)
            else:
                acc = [0.0, 0.0, 0.0, 0.0]
                for j in range(SS):
                    for i in range(SS):
                        (r, gr, b, a), _ = shade(px + (i + 0.5) / SS,
                                                 py + (j + 0.5) / SS, g)
                        acc[0] += r * a
                        acc[1] += gr * a
                        acc[2] += b * a
                        acc[3] += a
                acc = [v / (SS * SS) for v in acc]
            alpha = acc[3]
            if alpha <= 0.0:
                row += b"\0\0\0\0"
                continue
            row += bytes(min(255, round(c / alpha)) for c in acc[:3])
            row.append(round(alpha * 255))
        rows.append(bytes(row))
    return rows


# --- file formats -----------------------------------------------------------

def png(s, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + r for r in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", s, s, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib(s, rows):
    # 32-bit BGRA, bottom-up, followed by a 1-bpp AND mask (1 = transparent)
    # that older consumers use instead of the alpha channel.
    xor = bytearray()
    mask = bytearray()
    stride = (s + 31) // 32 * 4
    for r in reversed(rows):
        bits = bytearray(stride)
        for x in range(s):
            red, green, blue, alpha = r[4 * x:4 * x + 4]
            xor += bytes((blue, green, red, alpha))
            if alpha == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, s, 2 * s, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for s, data in images:
        dim = 0 if s >= 256 else s  # 0 means 256
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return out + entries + blobs


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    images = []
    for s in SIZES:
        rows = render(s)
        images.append((s, png(s, rows) if s >= 256 else dib(s, rows)))
    with open(sys.argv[1], "wb") as fh:
        fh.write(ico(images))


if __name__ == "__main__":
    main()
