#!/usr/bin/env python3
"""Writes the winget manifest set (schema 1.10.0) of a release zip.

    winget-manifest.py --out DIR --id ID --version V --name NAME --display-name NAME
        --display-version V --url URL --sha256 HEX --license TEXT --description TEXT
        --release-date YYYY-MM-DD

Three files in DIR: ID.yaml (version), ID.installer.yaml and ID.locale.en-US.yaml (the
default locale). The installer is the zip with setup.exe inside; the codes are those of
the README's table of exit codes.
"""
import argparse
import os
import re

MANIFEST_VERSION = "1.10.0"
PUBLISHER = "QUVO"
# The uninstall entry's key name under ...\CurrentVersion\Uninstall.
PRODUCT_CODE = "VeltranoSoftwareInstaller"

# setup.exe's exit codes other than 0, each with the response that fits it best. A
# comment says where none fits exactly. 0 is success (also for a run that did not run at
# all: not an administrator; winget elevates first, see ElevationRequirement).
RETURN_CODES = [
    (8, "contactSupport", "the package's setup data is missing or unusable; nothing was changed"),
    (9, "contactSupport", "copying files failed; none fits exactly: a locked or unreadable file, "
                          "a full disk or a refused folder; the /L log names it"),
    (10, "contactSupport", "removing files failed; a removal's code, not returned by an installation"),
    (11, "contactSupport", "shortcuts failed; none fits exactly; the /L log names the shortcut"),
    (12, "blockedByPolicy", "registry records failed: a registry write refused, which on an "
                            "administrator's run is an access rule or a security product"),
    (13, "systemNotSupported", "Windows NT 4.0 below Service Pack 4"),
    (15, "systemNotSupported", "Windows 95 or NT 3.51"),
]


def quoted(text):
    return "'" + text.replace("'", "''") + "'"


def header(kind):
    return ("# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n\n"
            % (kind, MANIFEST_VERSION))


def version_manifest(a):
    return header("version") + "\n".join([
        "PackageIdentifier: " + a.id,
        "PackageVersion: " + quoted(a.version),
        "DefaultLocale: en-US",
        "ManifestType: version",
        "ManifestVersion: " + MANIFEST_VERSION,
    ]) + "\n"


def installer_manifest(a):
    lines = [
        "PackageIdentifier: " + a.id,
        "PackageVersion: " + quoted(a.version),
        "Platform:",
        "- Windows.Desktop",
        "InstallerType: zip",
        "NestedInstallerType: exe",
        "NestedInstallerFiles:",
        "- RelativeFilePath: setup.exe",
        "Scope: machine",
        "InstallModes:",
        "- interactive",
        "- silent",
        "- silentWithProgress",
        "InstallerSwitches:",
        "  Silent: /S",
        "  SilentWithProgress: /S",
        "  Log: /L",
        # The program folder comes from the setup data; no switch chooses it.
        "UnsupportedArguments:",
        "- location",
        # The manifest of setup.exe asks for administrator rights.
        "ElevationRequirement: elevatesSelf",
        "UpgradeBehavior: install",
        "ExpectedReturnCodes:",
    ]
    for code, response, note in RETURN_CODES:
        lines += ["# %d: %s" % (code, note),
                  "- InstallerReturnCode: %d" % code,
                  "  ReturnResponse: " + response]
    lines += [
        "AppsAndFeaturesEntries:",
        "- DisplayName: " + quoted(a.display_name),
        "  Publisher: " + PUBLISHER,
        "  DisplayVersion: " + quoted(a.display_version),
        "  ProductCode: " + PRODUCT_CODE,
        "  InstallerType: exe",
        "ReleaseDate: " + a.release_date,
        "Installers:",
        "- Architecture: x86",
        "  InstallerUrl: " + quoted(a.url),
        "  InstallerSha256: " + a.sha256.upper(),
        "ManifestType: installer",
        "ManifestVersion: " + MANIFEST_VERSION,
    ]
    return header("installer") + "\n".join(lines) + "\n"


def locale_manifest(a):
    return header("defaultLocale") + "\n".join([
        "PackageIdentifier: " + a.id,
        "PackageVersion: " + quoted(a.version),
        "PackageLocale: en-US",
        "Publisher: " + PUBLISHER,
        "PackageName: " + quoted(a.name),
        "License: " + quoted(a.license),
        "ShortDescription: " + quoted(a.description),
        "ManifestType: defaultLocale",
        "ManifestVersion: " + MANIFEST_VERSION,
    ]) + "\n"


def main():
    parser = argparse.ArgumentParser()
    for option in ("out", "id", "version", "name", "display-name", "display-version", "url", "sha256",
                   "license", "description", "release-date"):
        parser.add_argument("--" + option, required=True)
    a = parser.parse_args()
    if not re.fullmatch(r"[^.\s\\/:*?\"<>|]{1,32}(\.[^.\s\\/:*?\"<>|]{1,32}){1,7}", a.id):
        parser.error("the package identifier is not of the form Publisher.Package")
    if not re.fullmatch(r"[Hh][Tt][Tt][Pp][Ss]?://.+", a.url):
        parser.error("the installer URL is not an http or https URL")
    if not re.fullmatch(r"[0-9A-Fa-f]{64}", a.sha256):
        parser.error("--sha256 is not a SHA-256 in hexadecimal")
    os.makedirs(a.out, exist_ok=True)
    for suffix, text in ((".yaml", version_manifest(a)), (".installer.yaml", installer_manifest(a)),
                         (".locale.en-US.yaml", locale_manifest(a))):
        with open(os.path.join(a.out, a.id + suffix), "w", encoding="utf-8", newline="\n") as out:
            out.write(text)


if __name__ == "__main__":
    main()
