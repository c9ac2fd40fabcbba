#!/usr/bin/env python3
"""Checks the shipped program file: a 64-bit GUI program that imports only DLLs Windows ships
and carries its icon (resource 1), version resource and application manifest.

Usage: check_exe.py PATH_TO_EXE
"""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

ALLOWED_DLLS = re.compile(
    r"^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|uxtheme|"
    r"dwmapi|d2d1|dwrite|d3d11|dxgi|windowscodecs|rstrtmgr|bcrypt|crypt32|wintrust|winhttp|mpr|version|ntdll|"
    r"msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$")
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.machine = machine
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        self.dirs = [struct.unpack_from("<II", data, opt + 112 + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            s = opt + opt_size + 40 * i
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, raw_size), raw_ptr))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("address outside every section: %#x" % rva)

    def resources(self):
        """{(type, id): bytes} for numbered resources (first language of each)."""
        base_rva, _ = self.dirs[2]
        base = self.offset(base_rva)

        def entries(off):
            named, ids = struct.unpack_from("<HH", self.data, base + off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + off + 16 + 8 * i)
                yield name, target

        out = {}
        for rtype, t in entries(0):
            for rid, n in entries(t & 0x7FFFFFFF):
                for _, leaf in entries(n & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    out.setdefault((rtype, rid), self.data[start:start + size])
        return out


def check(path):
    problems = []
    with open(path, "rb") as f:
        pe = PE(f.read())
    if pe.machine != 0x8664 or pe.magic != 0x20B:
        problems.append("not a 64-bit x64 program")
    if pe.subsystem != 2:
        problems.append("not a GUI-subsystem program (subsystem %d)" % pe.subsystem)

    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True, text=True, check=True)
    dlls = [m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)", dump.stdout, re.M)]
    if not dlls:
        problems.append("objdump found no imports")
    for dll in dlls:
        if not ALLOWED_DLLS.match(dll):
            problems.append("imports a DLL that Windows does not ship: " + dll)

    res = pe.resources()
    group = res.get((RT_GROUP_ICON, 1))
    if group is None:
        problems.append("no icon group with resource identifier 1")
    else:
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = sorted((group[6 + 14 * i] or 256) for i in range(count))
        ids = [struct.unpack_from("<H", group, 6 + 14 * i + 12)[0] for i in range(count)]
        if not {16, 32, 48, 256} <= set(sizes):
            problems.append("icon lacks some of 16, 32, 48 and 256 px: %s" % sizes)
        if any((RT_ICON, i) not in res for i in ids):
            problems.append("icon group names images that are missing")

    version = res.get((RT_VERSION, 1), b"").decode("utf-16-le", "replace")
    for key, value in (("FileDescription", "Tarnwick"), ("ProductName", "Tarnwick"),
                       ("FileVersion", "0.1.0"), ("ProductVersion", "0.1.0")):
        if not re.search(key + r"\x00+" + re.escape(value) + r"\x00", version):
            problems.append("version resource lacks %s %s" % (key, value))
    if not re.search(r"CompanyName\x00+[^\x00]+\x00", version):
        problems.append("version resource lacks a CompanyName")

    manifest = res.get((RT_MANIFEST, 1))
    if manifest is None:
        problems.append("no application manifest")
    else:
        root = ET.fromstring(manifest)
        text = {el.tag.split("}")[-1]: (el.text or "", el.attrib) for el in root.iter()}
        if "PerMonitorV2" not in text.get("dpiAwareness", ("",))[0]:
            problems.append("manifest is not per-monitor v2 DPI aware")
        if text.get("dpiAware", ("",))[0].strip() != "true/pm":
            problems.append("manifest lacks the per-monitor fallback")
        if text.get("requestedExecutionLevel", ("", {}))[1].get("level") != "asInvoker":
            problems.append("manifest does not run as invoker")
        if text.get("longPathAware", ("",))[0].strip() != "true":
            problems.append("manifest is not long-path aware")
        controls = [el.attrib for el in root.iter() if el.attrib.get("name") == "Microsoft.Windows.Common-Controls"]
        if not controls or controls[0].get("version") != "6.0.0.0":
            problems.append("manifest does not ask for Common Controls 6")
        if b"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a" not in manifest:
            problems.append("manifest does not declare Windows 10 and 11")

    for p in problems:
        print(p)
    if not problems:
        print("ok: %d bytes; imports %s" % (len(pe.data), ", ".join(dlls)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(check(sys.argv[1]))
