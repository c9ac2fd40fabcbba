#!/usr/bin/env python3
"""Checks a shipped program file: a 64-bit GUI program (console with --console) that imports
only DLLs Windows ships, loads at start-up only KnownDLLs (every other DLL is delay-loaded, so
that a DLL planted in the program's folder is never found there), and carries its icon
(resource 1), version resource and application manifest.

Usage: check_exe.py PATH_TO_EXE [--console]
"""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

ALLOWED_DLLS = re.compile(
    r"^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|uxtheme|"
    r"dwmapi|d2d1|dwrite|d3d11|dxgi|windowscodecs|rstrtmgr|bcrypt|crypt32|wintrust|winhttp|mpr|version|ntdll|"
    r"msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|propsys|userenv|wtsapi32|netapi32|iphlpapi|uiautomationcore|cfgmgr32|setupapi)\.dll$")
# What Windows 10 and 11 always load from System32 (the KnownDLLs of the Session Manager, and
# the API sets and ntdll, which the loader maps itself): the only DLLs a program may import
# the ordinary way.
KNOWN_DLLS = re.compile(
    r"^(kernel32|ntdll|advapi32|user32|gdi32|shell32|shlwapi|ole32|oleaut32|comdlg32|msvcrt|combase|rpcrt4|"
    r"sechost|imm32|psapi|ws2_32|setupapi|shcore|normaliz|nsi|wldap32|clbcatq|coml2|msctf|imagehlp|"
    r"api-ms-win-[a-z0-9-]+)\.dll$")
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
        self.image_base = struct.unpack_from("<Q", data, opt + 24)[0]
        self.dirs = [struct.unpack_from("<II", data, opt + 112 + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            s = opt + opt_size + 40 * i
            vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, raw_size), raw_ptr))

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        """(DLL names imported at start-up, DLL names delay-loaded), in lower case."""
        normal, delayed = [], []
        rva, size = self.dirs[1]
        off = self.offset(rva) if size else None
        while off is not None:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, off)
            if not (lookup or name or thunks):
                break
            normal.append(self.string(name).lower())
            off += 20
        # GNU ld leaves the delay-import directory empty: find mingw-w64's descriptors (offsets
        # form, no bound or unload table, no time stamp) by their shape.
        for found in re.finditer(rb"\x01\x00\x00\x00", self.data):
            if found.start() % 4:
                continue
            fields = struct.unpack_from("<8I", self.data, found.start())
            if any(fields[5:]) or not all(fields[1:5]):
                continue
            try:
                name = self.string(fields[1])
                if all(self.offset(rva) is not None for rva in fields[2:5]) and re.match(r"^[\w.-]+\.dll$", name, re.I):
                    delayed.append(name.lower())
            except (ValueError, UnicodeDecodeError):
                pass
        return normal, delayed

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


def check(path, console=False, is_dll=False):
    problems = []
    with open(path, "rb") as f:
        pe = PE(f.read())
    if pe.machine != 0x8664 or pe.magic != 0x20B:
        problems.append("not a 64-bit x64 program")
    if not is_dll and pe.subsystem != (3 if console else 2):
        problems.append("not a %s-subsystem program (subsystem %d)" % ("console" if console else "GUI", pe.subsystem))

    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True, text=True, check=True)
    dlls = [m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)", dump.stdout, re.M)]
    normal, delayed = pe.imports()
    if not dlls or sorted(dlls) != sorted(normal):
        problems.append("import table unreadable: objdump says %s, the table %s" % (dlls, normal))
    for dll in normal + delayed:
        if not ALLOWED_DLLS.match(dll):
            problems.append("imports a DLL that Windows does not ship: " + dll)
    for dll in normal:
        if not KNOWN_DLLS.match(dll):
            problems.append("loads at start-up a DLL Windows may take from the program's folder: " + dll)

    if is_dll:
        # A DLL loaded into File Explorer: only the two entry points COM asks for.
        exports = sorted(re.findall(r"^\s*\[\s*\d+\] (\S+)$", dump.stdout, re.M))
        if exports != ["DllCanUnloadNow", "DllGetClassObject"]:
            problems.append("exports %s, not just DllCanUnloadNow and DllGetClassObject" % exports)
    res = pe.resources()
    group = res.get((RT_GROUP_ICON, 1))
    if is_dll:
        pass
    elif group is None:
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
    description = "Tarnwick File Explorer command" if is_dll else "Tarnwick command line" if console else "Tarnwick"
    for key, value in (("FileDescription", description), ("ProductName", "Tarnwick"),
                       ("FileVersion", "0.1.0"), ("ProductVersion", "0.1.0")):
        if not re.search(key + r"\x00+" + re.escape(value) + r"\x00", version):
            problems.append("version resource lacks %s %s" % (key, value))
    if not re.search(r"CompanyName\x00+[^\x00]+\x00", version):
        problems.append("version resource lacks a CompanyName")

    manifest = res.get((RT_MANIFEST, 1))
    if is_dll:
        pass  # a DLL runs under the manifest of the process that loads it
    elif manifest is None:
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
        print("ok: %d bytes; imports %s; delay-loads %s" % (len(pe.data), ", ".join(normal), ", ".join(delayed)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(check(sys.argv[1], "--console" in sys.argv[2:], "--dll" in sys.argv[2:]))
