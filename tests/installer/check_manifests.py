#!/usr/bin/env python3
"""Checks the package managers' manifests of one release against its files, as winget's and
Scoop's own checks would: every file parses, they agree with each other, and the hashes,
addresses and names are those of the installer and archive beside them.

  check_manifests.py RELEASE_DIR VERSION MAKER_NAME MAKER_URL
  check_manifests.py RELEASE_DIR --switch NAME    prints one of the installer's switches
"""
import glob
import hashlib
import json
import os
import sys
import zipfile

import yaml

failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: {got!r}, expected {expected!r}")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def load_winget(release):
    manifests = {}
    for path in sorted(glob.glob(os.path.join(release, "winget", "*.yaml"))):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        data = yaml.safe_load(text)
        manifests[data["ManifestType"]] = (os.path.basename(path), data)
    return manifests


def check_winget(release, version, maker_name, maker_url):
    manifests = load_winget(release)
    check("winget manifest types", sorted(manifests), ["defaultLocale", "installer", "version"])
    if len(manifests) != 3:
        return
    ident = manifests["version"][1]["PackageIdentifier"]
    check("identifier", ident, maker_name.split()[0].strip(".,") + ".Tarnwick")
    for kind, (name, data) in manifests.items():
        suffix = {"version": "", "installer": ".installer", "defaultLocale": ".locale.en-US"}[kind]
        check(f"{kind} file name", name, f"{ident}{suffix}.yaml")
        check(f"{kind} identifier", data["PackageIdentifier"], ident)
        # A version must stay text: 1.10 read as a number would be 1.1.
        check(f"{kind} version", data["PackageVersion"], version)
        check(f"{kind} schema", data["ManifestVersion"], manifests["version"][1]["ManifestVersion"])
    check("default locale", manifests["defaultLocale"][1]["PackageLocale"], manifests["version"][1]["DefaultLocale"])
    locale = manifests["defaultLocale"][1]
    check("publisher", locale["Publisher"], maker_name)
    check("publisher address", locale["PublisherUrl"], maker_url)
    for field in ("PackageName", "License", "ShortDescription"):
        if not locale.get(field):
            failures.append(f"the locale manifest lacks {field}")

    installer = manifests["installer"][1]
    setup_name = f"Tarnwick-Setup-{version}.exe"
    check("installer type", installer["InstallerType"], "nullsoft")
    check("scope", installer["Scope"], "user")
    check("switches", sorted(installer["InstallerSwitches"]), ["InstallLocation", "Silent", "SilentWithProgress"])
    entries = installer["AppsAndFeaturesEntries"]
    check("Apps & features entries", [(e["DisplayName"], e["Publisher"], e["DisplayVersion"], e["ProductCode"])
                                      for e in entries], [("Tarnwick", maker_name, version, "Tarnwick")])
    check("installers", len(installer["Installers"]), 1)
    only = installer["Installers"][0]
    check("architecture", only["Architecture"], "x64")
    check("installer address", only["InstallerUrl"], f"{maker_url}tarnwick/{setup_name}")
    check("installer hash", only["InstallerSha256"], sha256(os.path.join(release, setup_name)).upper())


def check_scoop(release, version, maker_url):
    with open(os.path.join(release, "scoop", "tarnwick.json"), encoding="utf-8") as f:
        scoop = json.load(f)
    portable_name = f"Tarnwick-{version}-portable.zip"
    portable = os.path.join(release, portable_name)
    check("Scoop version", scoop["version"], version)
    build = scoop["architecture"]["64bit"]
    check("Scoop address", build["url"], f"{maker_url}tarnwick/{portable_name}")
    check("Scoop hash", build["hash"], sha256(portable))
    with zipfile.ZipFile(portable) as archive:
        packed = set(archive.namelist())
    # What Scoop links must be in the archive, at its top, or the shim and shortcut lead nowhere.
    check("Scoop command in the archive", scoop["bin"] in packed, True)
    check("Scoop command", scoop["bin"], "tarnwick-cli.exe")
    check("Scoop shortcut", [s[0] in packed for s in scoop["shortcuts"]], [True])
    later = scoop["autoupdate"]["architecture"]["64bit"]["url"].replace("$version", version)
    check("Scoop's address for a later version", later, build["url"])


def main(argv):
    if len(argv) == 4 and argv[2] == "--switch":
        print(load_winget(argv[1])["installer"][1]["InstallerSwitches"][argv[3]])
        return 0
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    release, version, maker_name, maker_url = argv[1:]
    check_winget(release, version, maker_name, maker_url)
    check_scoop(release, version, maker_url)
    for failure in failures:
        print("FAIL", failure)
    print("manifests:", "fine" if not failures else f"{len(failures)} faults")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
