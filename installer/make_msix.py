#!/usr/bin/env python3
"""Packs an MSIX package from a folder: every file in it (AppxManifest.xml among them), then
AppxBlockMap.xml with the SHA-256 of each 64 KiB block of each file, then
[Content_Types].xml, as Windows' own packaging tool lays them out. Files are stored, not
compressed, so each block's hash is that of its bytes as they stand and no block needs a
compressed size.

  make_msix.py FOLDER OUT.msix
  make_msix.py --manifest TEMPLATE OUT NAME=VALUE...   fills in @NAME@, XML-escaped
  make_msix.py --publisher SUBJECT   prints the manifest's Publisher for a certificate whose
                                     subject openssl printed with -nameopt RFC2253
"""
import base64
import hashlib
import os
import sys
import zipfile
from xml.sax.saxutils import escape, quoteattr

BLOCK = 64 * 1024
# Fixed, so that the same inputs make the same package.
STAMP = (2026, 1, 1, 0, 0, 0)
CONTENT_TYPES = {"png": "image/png", "xml": "application/xml"}


def payload(folder):
    files = []
    for root, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(root, name)
            files.append((os.path.relpath(path, folder).replace(os.sep, "/"), path))
    # The manifest first, as Windows' packaging tool puts it.
    files.sort(key=lambda f: (f[0] != "AppxManifest.xml", f[0]))
    return files


def stored(name):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = zipfile.ZIP_STORED
    info.create_system = 0
    return info


def block_map(entries):
    lines = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
             '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap" '
             'HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, data, header_size in entries:
        lines.append('<File Name=%s Size="%d" LfhSize="%d">' % (quoteattr(name.replace("/", "\\")), len(data), header_size))
        for start in range(0, len(data), BLOCK):
            digest = base64.b64encode(hashlib.sha256(data[start:start + BLOCK]).digest()).decode("ascii")
            lines.append('<Block Hash="%s"/>' % digest)
        lines.append("</File>")
    lines.append("</BlockMap>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def content_types(names):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    extensions = sorted({n.rsplit(".", 1)[-1].lower() for n in names if "." in n and n != "AppxManifest.xml"})
    for extension in extensions:
        kind = CONTENT_TYPES.get(extension, "application/octet-stream")
        lines.append('<Default Extension="%s" ContentType="%s"/>' % (extension, kind))
    lines.append('<Override PartName="/AppxManifest.xml" ContentType="application/vnd.ms-appx.manifest+xml"/>')
    lines.append('<Override PartName="/AppxBlockMap.xml" ContentType="application/vnd.ms-appx.blockmap+xml"/>')
    lines.append("</Types>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


# What Windows calls the attributes when it writes a certificate's subject.
WINDOWS_KEYS = {"ST": "S", "emailAddress": "E"}


def publisher(subject):
    """The subject as Windows writes it (CertNameToStr, X.500 form): RDNs in the order RFC 2253
    prints them, ", " between them, a value quoted when it holds a separator."""
    parts, current, escaped = [], "", False
    for ch in subject.strip():
        if escaped:
            current += ch
            escaped = False
        elif ch == "\\":
            escaped = True
        elif ch == ",":
            parts.append(current)
            current = ""
        else:
            current += ch
    parts.append(current)
    out = []
    for part in parts:
        key, _, value = part.partition("=")
        key = WINDOWS_KEYS.get(key.strip(), key.strip())
        if any(c in value for c in ',=+<>#;"\n') or value != value.strip():
            value = '"' + value.replace('"', '""') + '"'
        out.append(key + "=" + value)
    return ", ".join(out)


def fill(template, out, pairs):
    with open(template, encoding="utf-8") as f:
        text = f.read()
    for pair in pairs:
        name, _, value = pair.partition("=")
        text = text.replace("@" + name + "@", escape(value, {'"': "&quot;"}))
    if "@" in text.split("-->", 1)[-1]:
        print("make_msix: a value is missing from " + out, file=sys.stderr)
        return 2
    with open(out, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(text)
    return 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "--manifest":
        return fill(argv[2], argv[3], argv[4:])
    if len(argv) == 3 and argv[1] == "--publisher":
        print(publisher(argv[2]))
        return 0
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    folder, out = argv[1], argv[2]
    files = payload(folder)
    if not any(name == "AppxManifest.xml" for name, _ in files):
        print("make_msix: no AppxManifest.xml in " + folder, file=sys.stderr)
        return 2
    entries = []
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as package:
        for name, path in files:
            with open(path, "rb") as f:
                data = f.read()
            info = stored(name)
            package.writestr(info, data)
            # The local header: 30 bytes, the name and the extra field zipfile wrote.
            entries.append((name, data, 30 + len(info.filename.encode("utf-8")) + len(info.extra)))
        package.writestr(stored("AppxBlockMap.xml"), block_map(entries))
        # Deflated: the signing tool writes its new copy of this one file compressed, and keeps
        # the method the entry had (osslsigncode 2.9 does), so a stored entry would end up with
        # compressed bytes under a "stored" header. It is no block map file, so nothing else changes.
        types = stored("[Content_Types].xml")
        types.compress_type = zipfile.ZIP_DEFLATED
        package.writestr(types, content_types([name for name, _ in files]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
