#!/usr/bin/env bash
# Writes the package managers' manifests of one release, from the files package.sh made:
#   OUT/winget/ID.yaml, ID.installer.yaml, ID.locale.en-US.yaml   a winget manifest set
#   OUT/scoop/tarnwick.json                                       a Scoop manifest
# where ID is the maker's first word (letters and digits) and ".Tarnwick".
# Usage: manifests.sh OUT VERSION MAKER_NAME MAKER_URL SETUP_NAME PORTABLE_NAME
set -euo pipefail
out=$1 version=$2 maker_name=$3 maker_url=$4 setup_name=$5 portable_name=$6

publisher_id=$(printf '%s' "${maker_name%% *}" | tr -cd 'A-Za-z0-9')
[ -n "$publisher_id" ] || { echo "manifests: the maker's name '$maker_name' gives no identifier" >&2; exit 2; }
id="$publisher_id.Tarnwick"
page="${maker_url}tarnwick/"
description="A free app that releases files and folders that won't delete because another program is using them"
schema=1.10.0

# A YAML scalar in single quotes, which take every character but the quote itself (doubled).
yq() { local s=${1//\'/\'\'}; printf "'%s'" "$s"; }
# A JSON string: the texts here are the project's own, so only the quote and backslash need it.
jq_string() { local s=${1//\\/\\\\}; s=${s//\"/\\\"}; printf '"%s"' "$s"; }

setup_sha=$(sha256sum "$out/$setup_name" | cut -d' ' -f1)
portable_sha=$(sha256sum "$out/$portable_name" | cut -d' ' -f1)

mkdir -p "$out/winget" "$out/scoop"
header() { printf '# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n\n' "$1" "$schema"; }

{
  header version
  printf 'PackageIdentifier: %s\nPackageVersion: %s\nDefaultLocale: en-US\n' "$id" "$version"
  printf 'ManifestType: version\nManifestVersion: %s\n' "$schema"
} >"$out/winget/$id.yaml"

# The installer's own behaviour (see the README's Releases): NSIS's /S, per user, installs over
# an earlier version, exit code 3 while Tarnwick runs, one "Apps & features" entry keyed
# "Tarnwick", and the App Paths entry that lets Run and "start" find tarnwick.
{
  header installer
  printf 'PackageIdentifier: %s\nPackageVersion: %s\n' "$id" "$version"
  printf 'MinimumOSVersion: 10.0.17763.0\nInstallerType: nullsoft\nScope: user\n'
  printf 'InstallModes:\n- interactive\n- silent\n- silentWithProgress\n'
  printf 'InstallerSwitches:\n  Silent: /S\n  SilentWithProgress: /S\n  InstallLocation: /D=<INSTALLPATH>\n'
  printf 'ExpectedReturnCodes:\n- InstallerReturnCode: 3\n  ReturnResponse: packageInUse\n'
  printf 'UpgradeBehavior: install\n'
  printf 'Commands:\n- tarnwick\n'
  printf 'AppsAndFeaturesEntries:\n- DisplayName: Tarnwick\n  Publisher: %s\n  DisplayVersion: %s\n' \
    "$(yq "$maker_name")" "$version"
  printf '  ProductCode: Tarnwick\n  InstallerType: nullsoft\n'
  printf 'Installers:\n- Architecture: x64\n  InstallerUrl: %s\n  InstallerSha256: %s\n' \
    "$(yq "$page$setup_name")" "${setup_sha^^}"
  printf 'ManifestType: installer\nManifestVersion: %s\n' "$schema"
} >"$out/winget/$id.installer.yaml"

{
  header defaultLocale
  printf 'PackageIdentifier: %s\nPackageVersion: %s\nPackageLocale: en-US\n' "$id" "$version"
  printf 'Publisher: %s\nPublisherUrl: %s\n' "$(yq "$maker_name")" "$(yq "$maker_url")"
  printf 'PackageName: Tarnwick\nPackageUrl: %s\nLicense: Freeware\n' "$(yq "$page")"
  printf 'ShortDescription: %s\nMoniker: tarnwick\n' "$(yq "$description")"
  printf 'Tags:\n- file-in-use\n- locked-files\n- unlock\n- delete\n'
  printf 'ManifestType: defaultLocale\nManifestVersion: %s\n' "$schema"
} >"$out/winget/$id.locale.en-US.yaml"

# Scoop keeps the portable archive in a folder of its own, puts tarnwick-cli on the PATH
# through its shim and makes a Start menu shortcut to the window.
cat >"$out/scoop/tarnwick.json" <<EOF
{
  "version": "$version",
  "description": $(jq_string "$description"),
  "homepage": $(jq_string "$page"),
  "license": "Freeware",
  "architecture": {
    "64bit": {
      "url": $(jq_string "$page$portable_name"),
      "hash": "$portable_sha"
    }
  },
  "bin": "tarnwick-cli.exe",
  "shortcuts": [["tarnwick.exe", "Tarnwick"]],
  "notes": "Update Tarnwick with 'scoop update tarnwick'. Its settings are kept in the registry under HKEY_CURRENT_USER\\\\Software\\\\Tarnwick.",
  "checkver": {
    "url": $(jq_string "${page}update.json"),
    "jsonpath": "$.version"
  },
  "autoupdate": {
    "architecture": {
      "64bit": {
        "url": $(jq_string "${page}Tarnwick-\$version-portable.zip")
      }
    }
  }
}
EOF
