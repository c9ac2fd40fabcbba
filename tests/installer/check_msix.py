#!/usr/bin/env python3
"""Reads a release's sparse package as Windows would before it registers it, with readers of
its own (zipfile, hashlib, ElementTree): every block hash of AppxBlockMap.xml, the local
header sizes it claims, the content types, the manifest's identity, publisher, program and
DLL, and the signature (osslsigncode verify, against the test root).

  check_msix.py SOURCE_DIR RELEASE_DIR VERSION MAKER_NAME ROOT_CERT
"""
import base64
import hashlib
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zipfile

failures = []
FOOTPRINT = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}
NS = {
    "m": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
    "b": "http://schemas.microsoft.com/appx/2010/blockmap",
    "t": "http://schemas.openxmlformats.org/package/2006/content-types",
}


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: {got!r}, expected {expected!r}")


def check_block_map(package, raw):
    root = ET.fromstring(package.read("AppxBlockMap.xml"))
    check("hash method", root.get("HashMethod"), "http://www.w3.org/2001/04/xmlenc#sha256")
    listed = set()
    for entry in root.findall("b:File", NS):
        name = entry.get("Name").replace("\\", "/")
        listed.add(name)
        info = package.getinfo(name)
        data = package.read(name)
        check(f"{name} size", int(entry.get("Size")), len(data))
        name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
        check(f"{name} local header size", int(entry.get("LfhSize")), 30 + name_length + extra_length)
        blocks = entry.findall("b:Block", NS)
        check(f"{name} blocks", len(blocks), -(-len(data) // 65536))
        for i, block in enumerate(blocks):
            digest = base64.b64encode(hashlib.sha256(data[i * 65536:(i + 1) * 65536]).digest()).decode()
            check(f"{name} block {i}", block.get("Hash"), digest)
    check("files in the block map", listed, set(package.namelist()) - FOOTPRINT)


def check_content_types(package):
    root = ET.fromstring(package.read("[Content_Types].xml"))
    defaults = {d.get("Extension").lower(): d.get("ContentType") for d in root.findall("t:Default", NS)}
    overrides = {o.get("PartName"): o.get("ContentType") for o in root.findall("t:Override", NS)}
    check("manifest type", overrides.get("/AppxManifest.xml"), "application/vnd.ms-appx.manifest+xml")
    check("block map type", overrides.get("/AppxBlockMap.xml"), "application/vnd.ms-appx.blockmap+xml")
    check("signature type", overrides.get("/AppxSignature.p7x"), "application/vnd.ms-appx.signature")
    for name in package.namelist():
        if name != "[Content_Types].xml" and "/" + name not in overrides:
            if name.rsplit(".", 1)[-1].lower() not in defaults:
                failures.append(f"no content type for {name}")


def check_manifest(package, version, maker_name, source):
    """The identity and what File Explorer loads, as the manifest names them."""
    root = ET.fromstring(package.read("AppxManifest.xml"))
    identity = root.find("m:Identity", NS)
    check("identity", identity.get("Name"), re.sub(r"[^A-Za-z0-9]", "", maker_name.split()[0]) + ".Tarnwick")
    check("version", identity.get("Version"), version + ".0")
    check("architecture", identity.get("ProcessorArchitecture"), "x64")
    # The signer's certificate (the one not issued by itself) has a subject of one common
    # name; Windows writes a value with a comma in quotes.
    signature = package.read("AppxSignature.p7x")
    check("signature header", signature[:4], b"PKCX")
    printed = subprocess.run(["openssl", "pkcs7", "-inform", "DER", "-print_certs"], input=signature[4:],
                             capture_output=True).stdout.decode()
    pairs = re.findall(r"^subject=CN = (.*)\n^issuer=CN = (.*)$", printed, re.M)
    signers = [subject for subject, issuer in pairs if subject != issuer]
    check("signers", len(signers), 1)
    if signers:
        name = signers[0].strip("\"")  # openssl quotes a value with a comma too
        check("publisher", identity.get("Publisher"), "CN=" + ('"' + name + '"' if "," in name else name))
    check("external content", root.findtext("m:Properties/uap10:AllowExternalContent", None, NS), "true")
    application = root.find("m:Applications/m:Application", NS)
    check("program", application.get("Executable"), "tarnwick.exe")
    classes = root.findall(".//com:Class", NS)
    check("DLL", [c.get("Path") for c in classes], ["tarnwick-shell.dll"])
    verbs = root.findall(".//desktop5:ItemType", NS)
    check("item types", sorted(v.get("Type") for v in verbs), ["*", "Directory", "Drive"])
    clsids = {v.find("desktop5:Verb", NS).get("Clsid") for v in verbs}
    check("the verbs' class", clsids, {classes[0].get("Id")} if classes else set())
    with open(source + "/src/shell/explorer_command.h", encoding="utf-8") as f:
        check("the DLL's class", "{" + classes[0].get("Id") + "}" in f.read(), True)
    for logo in re.findall(r'Logo="([^"]+)"|<Logo>([^<]+)<', package.read("AppxManifest.xml").decode()):
        name = (logo[0] or logo[1]).replace("\\", "/")
        if name not in package.namelist():
            failures.append(f"the manifest names {name}, which the package lacks")


def main(argv):
    if len(argv) != 6:
        print(__doc__, file=sys.stderr)
        return 2
    source, release, version, maker_name, root_cert = argv[1:]
    path = f"{release}/Tarnwick-{version}.msix"
    with open(path, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(path) as package:
        check("manifest first", package.namelist()[0], "AppxManifest.xml")
        # Every entry's bytes as its header describes them (method, sizes, CRC).
        check("the first broken entry", package.testzip(), None)
        check_block_map(package, raw)
        check_content_types(package)
        check_manifest(package, version, maker_name, source)
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", root_cert, "-in", path], capture_output=True, text=True)
    if "Signature verification: ok" not in verify.stdout:
        failures.append("osslsigncode does not accept the signature: " + verify.stdout[-300:] + verify.stderr[-300:])
    for failure in failures:
        print("FAIL", failure)
    print("package:", "fine" if not failures else f"{len(failures)} faults")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
