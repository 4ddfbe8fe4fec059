#!/usr/bin/env python3
"""Writes the winget manifest set (schema 1.10.0) of a release zip, or checks its values.

    winget-manifest.py --out ROOT --id ID --version V --name NAME --display-name NAME
        --display-version V --url BASE-URL --zip NAME.zip --sha256 HEX --license TEXT
        --description TEXT --release-date YYYY-MM-DD
    winget-manifest.py --check [--id ID] [--version V] [--name NAME] ...

The set goes where the winget package repository keeps it, so that ROOT can be copied
into a fork as it is: ROOT/manifests/<first letter of ID, lower case>/<each part of ID
as a folder>/<V>/, with ID.yaml (version), ID.installer.yaml and ID.locale.en-US.yaml
(the default locale); the paths written are printed relative to ROOT, one a line. The
installer is the zip at BASE-URL/NAME.zip (the name percent-encoded) with setup.exe
inside; the codes are those of the exit-code table in README.md.

--check checks the values given against the schema's rules (and the folder rules below)
and writes nothing: exit code 2 and one line per fault when one breaks them. Writing
checks them all the same way first.
"""
import argparse
import os
import re
import sys
import urllib.parse

MANIFEST_VERSION = "1.10.0"
PUBLISHER = "QUVO"
# The uninstall entry's key name under ...\CurrentVersion\Uninstall.
PRODUCT_CODE = "VeltranoSoftwareInstaller"
# The option with which setup.exe ends 3010 when the run waits for the restart.
RESTART_CODE_SWITCH = "/R"

# setup.exe's exit codes of an installation other than 0, each with the response that
# fits it best. A comment says where none fits exactly. 0 is success (also for a run
# that did not run at all: not an administrator; winget elevates first, see
# ElevationRequirement). 10, a removal's code, is left out: winget reads these codes for
# installations only, and removes through the uninstall entry's QuietUninstallString.
RETURN_CODES = [
    (8, "contactSupport", "the package's setup data is missing or unusable; nothing was changed"),
    (9, "contactSupport", "copying files failed; none fits exactly: a locked or unreadable file, "
                          "a full disk or a refused folder; the /L log names it"),
    (11, "contactSupport", "shortcuts failed; none fits exactly; the /L log names the shortcut"),
    (12, "blockedByPolicy", "registry records failed: a registry write refused, which on an "
                            "administrator's run is an access rule or a security product"),
    (13, "systemNotSupported", "Windows NT 4.0 below Service Pack 4"),
    (15, "systemNotSupported", "Windows 95 or NT 3.51"),
    (3010, "rebootRequiredToFinish", "installed; files in use are replaced at the next restart "
                                     "(only with " + RESTART_CODE_SWITCH + ", which the Custom switch gives)"),
]

# The schema's rules for the values given on the command line: (pattern or None,
# shortest, longest). Identifier and version become folder and file names too.
_ID_PART = r"[^.\s\\/:*?\"<>|\x01-\x1f]{1,32}"
RULES = {
    "id": (_ID_PART + r"(\." + _ID_PART + r"){1,7}", 1, 128),
    "version": (r"[^\\/:*?\"<>|\x01-\x1f]+", 1, 128),
    "name": (None, 2, 256),
    "display-name": (None, 1, 256),
    "display-version": (None, 1, 128),
    "license": (None, 3, 512),
    "description": (None, 3, 256),
    "url": (r"[Hh][Tt][Tt][Pp][Ss]?://.+", 1, 2048),
    "sha256": (r"[0-9A-Fa-f]{64}", 64, 64),
    "release-date": (r"[0-9]{4}-[0-9]{2}-[0-9]{2}", 10, 10),
}


def problems(values, zip_name=None):
    """The faults of the values given ({option: text}; `zip_name` when known), one text each."""
    found = []
    for option, text in values.items():
        if text is None or option not in RULES:
            continue
        pattern, shortest, longest = RULES[option]
        if not shortest <= len(text) <= longest:
            found.append("--%s must be %d to %d characters long, not %d" % (option, shortest, longest, len(text)))
        elif pattern and not re.fullmatch(pattern, text):
            found.append("--%s does not fit the manifest schema's pattern: %r" % (option, text))
    version = values.get("version")
    # The version is a folder of the repository, part of the zip's name and of its URL:
    # no folder walk, no blank (which scripts and command lines split), and no trailing
    # dot, which Windows strips from a folder name, so that a checkout there would name
    # another folder.
    if version is not None and (".." in version or re.search(r"\s", version) or version.endswith(".")):
        found.append("--version must not contain \"..\" or a blank, nor end with \".\": %r" % version)
    # The schema's limit holds for the installer's URL, which is --url with the zip's
    # name after it; before the version is known, with the shortest name it can have.
    url, package_id = values.get("url"), values.get("id")
    if url is not None and package_id is not None and not found:
        name = zip_name or "%s-%s.zip" % (package_id, version if version is not None else "V")
        longest = RULES["url"][2]
        if len(join_url(url, name)) > longest:
            found.append("--url is too long for the installer's URL: %d characters with the zip's name %s, "
                         "at most %d" % (len(join_url(url, name)), name, longest))
    return found


def scalar(text):
    """`text` as a double-quoted YAML scalar: a string for every YAML 1.1 or 1.2 reader
    (no date, number, boolean or null), every character kept."""
    out = []
    for char in text:
        code = ord(char)
        if char in "\\\"":
            out.append("\\" + char)
        elif code < 0x20 or 0x7F <= code <= 0x9F or 0xD800 <= code <= 0xDFFF or code in (0x2028, 0x2029, 0xFEFF, 0xFFFE, 0xFFFF):
            out.append("\\u%04X" % code)
        else:
            out.append(char)
    return '"' + "".join(out) + '"'


def header(kind):
    return ("# yaml-language-server: $schema=https://aka.ms/winget-manifest.%s.%s.schema.json\n\n"
            % (kind, MANIFEST_VERSION))


def identity(a):
    return ["PackageIdentifier: " + scalar(a.id), "PackageVersion: " + scalar(a.version)]


def version_manifest(a):
    return header("version") + "\n".join(identity(a) + [
        "DefaultLocale: en-US",
        "ManifestType: version",
        "ManifestVersion: " + scalar(MANIFEST_VERSION),
    ]) + "\n"


def join_url(url, zip_name):
    return url.rstrip("/") + "/" + urllib.parse.quote(zip_name, safe="")


def installer_url(a):
    return join_url(a.url, a.zip)


def installer_manifest(a):
    lines = identity(a) + [
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
        "  Silent: " + scalar("/S"),
        "  SilentWithProgress: " + scalar("/S"),
        "  Log: " + scalar("/L=<LOGPATH>"),
        # Passed in every mode: a run that waits for the restart ends 3010, not 0.
        "  Custom: " + scalar(RESTART_CODE_SWITCH),
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
        "- DisplayName: " + scalar(a.display_name),
        "  Publisher: " + scalar(PUBLISHER),
        "  DisplayVersion: " + scalar(a.display_version),
        "  ProductCode: " + scalar(PRODUCT_CODE),
        "  InstallerType: exe",
        "ReleaseDate: " + scalar(a.release_date),
        "Installers:",
        "- Architecture: x86",
        "  InstallerUrl: " + scalar(installer_url(a)),
        "  InstallerSha256: " + scalar(a.sha256.upper()),
        "ManifestType: installer",
        "ManifestVersion: " + scalar(MANIFEST_VERSION),
    ]
    return header("installer") + "\n".join(lines) + "\n"


def locale_manifest(a):
    return header("defaultLocale") + "\n".join(identity(a) + [
        "PackageLocale: en-US",
        "Publisher: " + scalar(PUBLISHER),
        "PackageName: " + scalar(a.name),
        "License: " + scalar(a.license),
        "ShortDescription: " + scalar(a.description),
        "ManifestType: defaultLocale",
        "ManifestVersion: " + scalar(MANIFEST_VERSION),
    ]) + "\n"


def manifest_folder(a):
    """The set's folder relative to the repository's root."""
    return "/".join(["manifests", a.id[0].lower()] + a.id.split(".") + [a.version])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", action="store_true")
    options = ("out", "zip") + tuple(RULES)
    for option in options:
        parser.add_argument("--" + option)
    a = parser.parse_args()
    values = {option: getattr(a, option.replace("-", "_")) for option in RULES}
    found = problems(values, a.zip)
    if not a.check:
        missing = [option for option in options if getattr(a, option.replace("-", "_")) is None]
        found += ["--%s is missing" % option for option in missing]
        if a.zip is not None and (a.zip in ("", ".", "..") or re.search(r"[\\/\x00-\x1f]", a.zip)):
            found.append("--zip is not a file name: %r" % a.zip)
    if found:
        for fault in found:
            print("winget-manifest: " + fault, file=sys.stderr)
        sys.exit(2)
    if a.check:
        return
    folder = manifest_folder(a)
    os.makedirs(os.path.join(a.out, folder), exist_ok=True)
    for suffix, text in ((".yaml", version_manifest(a)), (".installer.yaml", installer_manifest(a)),
                         (".locale.en-US.yaml", locale_manifest(a))):
        path = folder + "/" + a.id + suffix
        with open(os.path.join(a.out, path), "w", encoding="utf-8", newline="\n") as out:
            out.write(text)
        print(path)


if __name__ == "__main__":
    main()
