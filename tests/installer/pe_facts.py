#!/usr/bin/env python3
"""Prints what a Windows program file says of itself, one fact a line:
  version A.B.C.D          the fixed file version of its version resource
  product-version TEXT     the ProductVersion string
  company TEXT             the CompanyName string
  execution-level LEVEL    what its manifest asks for (asInvoker, requireAdministrator, ...)
  machine amd64|other
  signed yes|no            whether it carries an Authenticode signature

Usage: pe_facts.py FILE
"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build"))
from check_exe import PE, RT_MANIFEST, RT_VERSION  # noqa: E402


def facts(path):
    with open(path, "rb") as f:
        pe = PE(f.read())
    out = ["machine " + ("amd64" if pe.machine == 0x8664 else "other")]
    res = pe.resources()
    version = res.get((RT_VERSION, 1), b"")
    fixed = version.find(struct.pack("<I", 0xFEEF04BD))
    if fixed >= 0:
        ms, ls = struct.unpack_from("<II", version, fixed + 8)
        out.append("version %d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
    strings = version.decode("utf-16-le", "replace")
    for key, name in (("ProductVersion", "product-version"), ("CompanyName", "company")):
        m = re.search(key + r"\x00+([^\x00]+)\x00", strings)
        if m:
            out.append("%s %s" % (name, m.group(1)))
    manifest = res.get((RT_MANIFEST, 1))
    if manifest is not None:
        for el in ET.fromstring(manifest).iter():
            if el.tag.split("}")[-1] == "requestedExecutionLevel":
                out.append("execution-level " + el.attrib.get("level", ""))
    security_rva, security_size = pe.dirs[4]  # a file offset, not an address
    out.append("signed " + ("yes" if security_rva and security_size else "no"))
    return out


if __name__ == "__main__":
    print("\n".join(facts(sys.argv[1])))
