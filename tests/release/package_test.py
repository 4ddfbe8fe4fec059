#!/usr/bin/env python3
"""The release zip and the winget manifests, made by the scripts release.sh runs.

    package_test.py SOURCE_DIR

The zip: the same bytes from two copies of a folder that differ in path, file times
and permissions; sorted entries with the SOURCE_DATE_EPOCH time (1980 at the
earliest), no Unix owner or mode; a symbolic link refused. The manifests: the fields
and values that winget's schema 1.10.0 allows, the README's exit codes, the uninstall
entry's publisher.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import yaml

SOURCE = sys.argv[1]
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def make_zip(folder, out, epoch):
    return subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/make-zip.py"), folder, out],
                          env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)), capture_output=True, text=True)


def zip_checks(work):
    first = os.path.join(work, "a", "release")
    os.makedirs(os.path.join(first, "sub", "deeper"))
    os.makedirs(os.path.join(first, "empty"))
    for name, data in (("setup.exe", b"MZ" + bytes(range(256)) * 40), ("ZemSetup.dat", b"[INIT]\r\n"),
                       ("sub/b.txt", b"b"), ("sub/deeper/a.txt", b"a"), ("Zeta.dll", b"z")):
        with open(os.path.join(first, name), "wb") as out:
            out.write(data)
    second = os.path.join(work, "another", "longer", "path", "release")
    shutil.copytree(first, second)
    for parent, _, files in os.walk(second):
        for name in files:
            path = os.path.join(parent, name)
            os.chmod(path, 0o755)
            os.utime(path, (1, 1))
    epoch = 1700000001  # 2023-11-14 22:13:21 UTC: an odd second
    make_zip(first, os.path.join(work, "one.zip"), epoch)
    make_zip(second, os.path.join(work, "two.zip"), epoch)
    with open(os.path.join(work, "one.zip"), "rb") as one, open(os.path.join(work, "two.zip"), "rb") as two:
        check(one.read() == two.read(), "two copies of a folder give the same zip bytes")
    with zipfile.ZipFile(os.path.join(work, "one.zip")) as archive:
        infos = archive.infolist()
        names = [info.filename for info in infos]
        check(names == ["ZemSetup.dat", "Zeta.dll", "empty/", "setup.exe", "sub/", "sub/b.txt", "sub/deeper/",
                        "sub/deeper/a.txt"], "entries sorted, folders as entries: %s" % names)
        check(all(info.date_time == (2023, 11, 14, 22, 13, 20) for info in infos), "every entry has the epoch's time")
        check(all(info.create_system == 0 and info.external_attr >> 16 == 0 for info in infos),
              "no Unix owner or permission bits")
        check(archive.read("setup.exe")[:2] == b"MZ" and archive.testzip() is None, "the zip reads back")
    make_zip(first, os.path.join(work, "old.zip"), 0)
    with zipfile.ZipFile(os.path.join(work, "old.zip")) as archive:
        check(archive.infolist()[0].date_time == (1980, 1, 1, 0, 0, 0), "an epoch before 1980 gives 1980-01-01")
    os.symlink("/etc/passwd", os.path.join(first, "link"))
    result = make_zip(first, os.path.join(work, "link.zip"), epoch)
    check(result.returncode != 0 and "not a plain file" in result.stderr, "a symbolic link is refused")


# The values that winget's schema 1.10.0 allows for the fields the manifests use.
ALLOWED = {
    "InstallerType": {"msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable",
                      "advinstExe", "advinstMsi"},
    "Scope": {"user", "machine"},
    "Architecture": {"x86", "x64", "arm", "arm64", "neutral"},
    "InstallModes": {"interactive", "silent", "silentWithProgress"},
    "ElevationRequirement": {"elevationRequired", "elevationProhibited", "elevatesSelf"},
    "UpgradeBehavior": {"install", "uninstallPrevious", "deny"},
    "UnsupportedArguments": {"log", "location"},
    "Platform": {"Windows.Desktop", "Windows.Universal"},
    "ReturnResponse": {"packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse",
                       "missingDependency", "diskFull", "insufficientMemory", "invalidParameter", "noNetwork",
                       "contactSupport", "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated",
                       "cancelledByUser", "alreadyInstalled", "downgrade", "blockedByPolicy", "systemNotSupported",
                       "custom"},
}
INSTALLER_FIELDS = {"PackageIdentifier", "PackageVersion", "Platform", "InstallerType", "NestedInstallerType",
                    "NestedInstallerFiles", "Scope", "InstallModes", "InstallerSwitches", "UnsupportedArguments",
                    "ElevationRequirement", "UpgradeBehavior", "ExpectedReturnCodes", "AppsAndFeaturesEntries",
                    "ReleaseDate", "Installers", "ManifestType", "ManifestVersion", "InstallerSuccessCodes",
                    "MinimumOSVersion", "InstallerLocale", "Commands", "ProductCode", "InstallationMetadata"}


def readme_exit_codes():
    """The nonzero exit codes of the README's table."""
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as readme:
        return {int(code) for code in re.findall(r"^\| (\d+) \| `[0-9A-F]{4}` \|", readme.read(), re.M)} - {0}


def manifest_checks(work):
    out = os.path.join(work, "winget")
    sha = "ab" * 32
    subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/winget-manifest.py"), "--out", out,
                    "--id", "QUVO.PkgMgr", "--version", "1.04.0000", "--name", "Veltrano Package Manager",
                    "--display-name", "Veltrano's Manager", "--display-version", "1.04.0000",
                    "--url", "https://downloads.example.com/QUVO.PkgMgr-1.04.0000.zip", "--sha256", sha,
                    "--license", "Proprietary", "--description", "The QUVO package manager",
                    "--release-date", "2026-01-02"], check=True)
    load = lambda suffix: yaml.safe_load(open(os.path.join(out, "QUVO.PkgMgr" + suffix), encoding="utf-8"))
    version, installer, locale = load(".yaml"), load(".installer.yaml"), load(".locale.en-US.yaml")
    common = {"PackageIdentifier": "QUVO.PkgMgr", "PackageVersion": "1.04.0000", "ManifestVersion": "1.10.0"}
    for manifest, kind in ((version, "version"), (installer, "installer"), (locale, "defaultLocale")):
        check(all(manifest.get(k) == v for k, v in common.items()) and manifest["ManifestType"] == kind,
              "%s manifest: identifier, version (a text), schema 1.10.0" % kind)
    check(version["DefaultLocale"] == "en-US" and locale["PackageLocale"] == "en-US", "the default locale is en-US")
    check(all(locale.get(k) for k in ("Publisher", "PackageName", "License", "ShortDescription")),
          "the default locale has its required fields")
    check(set(installer) <= INSTALLER_FIELDS, "installer fields: %s" % sorted(set(installer) - INSTALLER_FIELDS))
    for field in ("InstallerType", "Scope", "ElevationRequirement", "UpgradeBehavior"):
        check(installer[field] in ALLOWED[field], "%s: %s" % (field, installer[field]))
    for field in ("InstallModes", "UnsupportedArguments", "Platform"):
        check(set(installer[field]) <= ALLOWED[field], "%s: %s" % (field, installer[field]))
    check((installer["InstallerType"], installer["NestedInstallerType"], installer["NestedInstallerFiles"],
           installer["Scope"]) == ("zip", "exe", [{"RelativeFilePath": "setup.exe"}], "machine"),
          "a zip holding setup.exe, an exe, for the machine")
    check(installer["InstallerSwitches"] == {"Silent": "/S", "SilentWithProgress": "/S", "Log": "/L"},
          "switches: %s" % installer["InstallerSwitches"])
    codes = {entry["InstallerReturnCode"]: entry["ReturnResponse"] for entry in installer["ExpectedReturnCodes"]}
    check(set(codes) == readme_exit_codes(), "expected return codes %s are the README's" % sorted(codes))
    check(set(codes.values()) <= ALLOWED["ReturnResponse"], "responses: %s" % sorted(set(codes.values())))
    check(codes.get(13) == codes.get(15) == "systemNotSupported", "refused systems: systemNotSupported")
    with open(os.path.join(SOURCE, "actions/registry_records.cpp"), encoding="utf-8") as source:
        publisher = re.search(r'kPublisher\[\] = "([^"]*)"', source.read()).group(1)
    check(installer["AppsAndFeaturesEntries"] == [{"DisplayName": "Veltrano's Manager", "Publisher": publisher,
                                                   "DisplayVersion": "1.04.0000",
                                                   "ProductCode": "VeltranoSoftwareInstaller",
                                                   "InstallerType": "exe"}],
          "the Apps and Features entry is the uninstall entry's")
    check(locale["Publisher"] == publisher, "the publisher is the uninstall entry's")
    check(installer["Installers"] == [{"Architecture": "x86", "InstallerSha256": sha.upper(),
                                       "InstallerUrl": "https://downloads.example.com/QUVO.PkgMgr-1.04.0000.zip"}],
          "one x86 installer: the zip's URL and SHA-256")
    bad = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/winget-manifest.py"), "--out", out,
                          "--id", "PkgMgr", "--version", "1", "--name", "n", "--display-name", "n",
                          "--display-version", "1", "--url", "https://x", "--sha256", sha, "--license", "lic",
                          "--description", "desc", "--release-date", "2026-01-02"], capture_output=True)
    check(bad.returncode != 0, "an identifier without a publisher part is refused")


with tempfile.TemporaryDirectory() as work:
    zip_checks(work)
    manifest_checks(work)
sys.exit(1 if failures else 0)
