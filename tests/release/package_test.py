#!/usr/bin/env python3
"""The release zip and the winget manifests, made by the scripts release.sh runs.

    package_test.py SOURCE_DIR

The zip: the same bytes from two copies of a folder that differ in path, file times
and permissions, and from a Python without a compression library; sorted, stored
entries with the SOURCE_DATE_EPOCH time (1980 at the earliest), no Unix owner or mode;
a symbolic link refused. The manifests: the package repository's layout, the fields
and values that winget's schema 1.10.0 allows, every text read back as the same text
by a YAML 1.1 reader whatever it holds, the schema's rules for identifier, version and
texts enforced before anything is written, the README's exit codes of an
installation, the uninstall entry's publisher.
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
        check(all(info.compress_type == zipfile.ZIP_STORED for info in infos), "entries are stored, not compressed")
    # No compression library takes part: a Python that has none gives the same bytes.
    without = ("import runpy, sys; sys.modules['zlib'] = None; sys.modules.pop('zipfile', None); "
               "sys.argv = sys.argv[1:]; "
               "runpy.run_path(sys.argv[0], run_name='__main__')")
    packed = subprocess.run([sys.executable, "-c", without, os.path.join(SOURCE, "scripts/make-zip.py"), first,
                             os.path.join(work, "three.zip")], capture_output=True,
                            env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
    with open(os.path.join(work, "one.zip"), "rb") as one:
        same = packed.returncode == 0 and open(os.path.join(work, "three.zip"), "rb").read() == one.read()
    check(same, "a Python without zlib packs the same bytes %s" % packed.stderr.decode()[-200:])
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


SHA = "ab" * 32
GOOD = {"id": "QUVO.PkgMgr", "version": "1.04.0000", "name": "Veltrano Package Manager",
        "display-name": "Veltrano's Manager", "display-version": "1.04.0000",
        "url": "https://downloads.example.com/", "zip": "QUVO.PkgMgr-1.04.0000.zip", "sha256": SHA,
        "license": "Proprietary", "description": "The QUVO package manager", "release-date": "2026-01-02"}


def write_manifests(out, **changed):
    values = dict(GOOD, **changed)
    command = [sys.executable, os.path.join(SOURCE, "scripts/winget-manifest.py"), "--out", out]
    for option, value in values.items():
        command += ["--" + option, value]
    return subprocess.run(command, capture_output=True, text=True)


def only_strings(node, where=""):
    """The places in a loaded manifest that hold anything but a string (return codes aside)."""
    if isinstance(node, dict):
        return [bad for key, value in node.items() for bad in only_strings(value, where + "/" + str(key))
                if not (key == "InstallerReturnCode" and isinstance(value, int))]
    if isinstance(node, list):
        return [bad for i, value in enumerate(node) for bad in only_strings(value, "%s[%d]" % (where, i))]
    return [] if isinstance(node, str) else ["%s: %r" % (where, node)]


def manifest_checks(work):
    out = os.path.join(work, "winget")
    result = write_manifests(out)
    folder = "manifests/q/QUVO/PkgMgr/1.04.0000"
    written = ["%s/QUVO.PkgMgr%s" % (folder, suffix) for suffix in (".yaml", ".installer.yaml", ".locale.en-US.yaml")]
    check(result.returncode == 0 and result.stdout.split("\n")[:-1] == written,
          "the set lies in the package repository's layout: %s" % " ".join(result.stdout.split("\n")))
    load = lambda suffix: yaml.safe_load(open(os.path.join(out, folder, "QUVO.PkgMgr" + suffix), encoding="utf-8"))
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
    check(installer["InstallerSwitches"] == {"Silent": "/S", "SilentWithProgress": "/S", "Log": "/L=<LOGPATH>",
                                             "Custom": "/R"},
          "switches: %s" % installer["InstallerSwitches"])
    codes = {entry["InstallerReturnCode"]: entry["ReturnResponse"] for entry in installer["ExpectedReturnCodes"]}
    # 10 is a removal's code: winget reads these codes for installations only.
    check(set(codes) == readme_exit_codes() - {10} and 3010 in codes,
          "expected return codes %s are the README's of an installation" % sorted(codes))
    check(set(codes.values()) <= ALLOWED["ReturnResponse"], "responses: %s" % sorted(set(codes.values())))
    check(codes.get(13) == codes.get(15) == "systemNotSupported" and codes.get(3010) == "rebootRequiredToFinish",
          "refused systems: systemNotSupported; a restart still needed: rebootRequiredToFinish")
    with open(os.path.join(SOURCE, "actions/registry_records.cpp"), encoding="utf-8") as source:
        publisher = re.search(r'kPublisher\[\] = "([^"]*)"', source.read()).group(1)
    check(installer["AppsAndFeaturesEntries"] == [{"DisplayName": "Veltrano's Manager", "Publisher": publisher,
                                                   "DisplayVersion": "1.04.0000",
                                                   "ProductCode": "VeltranoSoftwareInstaller",
                                                   "InstallerType": "exe"}],
          "the Apps and Features entry is the uninstall entry's")
    check(locale["Publisher"] == publisher, "the publisher is the uninstall entry's")
    check(installer["Installers"] == [{"Architecture": "x86", "InstallerSha256": SHA.upper(),
                                       "InstallerUrl": "https://downloads.example.com/QUVO.PkgMgr-1.04.0000.zip"}],
          "one x86 installer: the zip's URL and SHA-256")

    # Values whose plain form a YAML reader would type, misread or refuse: every one
    # reads back as the very text given (a YAML 1.1 reader here, the strictest typer).
    hostile = [
        dict(id="!QUVO.[Pkg", version="1.0", name="yes", **{"display-name": "null", "display-version": "1.0"},
             license="0x1F", description="@at: #not a comment", sha256="1" * 64),
        dict(id="&anchor.{x}", version="2026-01-02", name="No", **{"display-name": "*alias", "display-version": "1_000"},
             license="~~~", description="It's \"quoted\" \\ and\na new line\ttab \x7f\x85 \u2028 \U0001F600"),
        dict(id="#Q.%P", version="10", name="- item", **{"display-name": "? key", "display-version": ".inf"},
             license="'single'", description="{flow: map}, [seq]"),
    ]
    for n, values in enumerate(hostile):
        where = os.path.join(work, "hostile%d" % n)
        result = write_manifests(where, **values)
        loaded = {path: yaml.safe_load(open(os.path.join(where, path), encoding="utf-8"))
                  for path in result.stdout.splitlines()} if result.returncode == 0 else {}
        wrong = [path + bad for path, manifest in loaded.items() for bad in only_strings(manifest)]
        merged = {}
        for manifest in loaded.values():
            merged.update(manifest)
        entry = merged.get("AppsAndFeaturesEntries", [{}])[0]
        same = (merged.get("PackageIdentifier"), merged.get("PackageVersion"), merged.get("PackageName"),
                entry.get("DisplayName"), entry.get("DisplayVersion"), merged.get("License"),
                merged.get("ShortDescription")) == tuple(
                    values[k] for k in ("id", "version", "name", "display-name", "display-version", "license",
                                        "description"))
        check(len(loaded) == 3 and not wrong and same and merged.get("ReleaseDate") == "2026-01-02",
              "values that YAML would type read back as the same texts (%s): %s"
              % (values["id"], wrong or result.stderr.strip()))

    # An identifier may hold what a URL reads as its own: the zip's name is encoded.
    odd = os.path.join(work, "odd")
    result = write_manifests(odd, id="Q#.P%&", version="1.0+5", zip="Q#.P%&-1.0+5.zip")
    url = yaml.safe_load(open(os.path.join(odd, result.stdout.splitlines()[1]), encoding="utf-8"))["Installers"][0][
        "InstallerUrl"] if result.returncode == 0 else ""
    check(result.stdout.startswith("manifests/q/Q#/P%&/1.0+5/") and
          url == "https://downloads.example.com/Q%23.P%25%26-1.0%2B5.zip",
          "the zip's name is percent-encoded in the URL: %s" % url)

    # The schema's rules, and no folder walk in the version: refused before anything is written.
    refused = [("id", "PkgMgr"), ("id", "Q." + "p" * 33), ("id", ".".join("abcdefghi")), ("id", "Q.Pkg Mgr"),
               ("id", "Q/x.P"), ("id", ".".join(["p" * 32] * 4) + ".b"), ("version", "1/2"), ("version", "1\\2"),
               ("version", ".."), ("version", "1..2"), ("version", " 1.0"), ("version", "1.0 beta"),
               ("version", "1.0."), ("version", "1:0"), ("version", "1\x01"), ("version", "v" * 129),
               ("name", "N"), ("license", "ab"), ("description", "d" * 257), ("url", "ftp://example.com"),
               ("sha256", "xyz"), ("release-date", "2026/01/02"), ("zip", "../x.zip")]
    wrong = []
    for option, value in refused:
        where = os.path.join(work, "refused")
        result = write_manifests(where, **{option: value})
        if result.returncode != 2 or "--" + option not in result.stderr or os.path.exists(where):
            wrong.append("%s=%r: exit %d, %s" % (option, value, result.returncode, result.stderr.strip()))
        if option != "zip":
            checked = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/winget-manifest.py"), "--check",
                                      "--" + option, value], capture_output=True, text=True)
            if checked.returncode != 2:
                wrong.append("--check --%s %r: exit %d" % (option, value, checked.returncode))
    check(not wrong, "values against the schema's rules are refused, nothing written: %s" % wrong)
    accepted = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/winget-manifest.py"), "--check",
                               "--id", ".".join(["p" * 32] * 3) + ".b", "--version", "1.0+build.5-beta_2"])
    check(accepted.returncode == 0, "an identifier of 32-character parts and a version with signs pass")

    # The schema's 2048 characters hold for the installer's URL, --url with the zip's name
    # after it (percent-encoded): a --url that fits alone may not, written or checked.
    tool = [sys.executable, os.path.join(SOURCE, "scripts/winget-manifest.py")]
    base = "https://downloads.example.com/"
    name = "QUVO.PkgMgr-1.04.0000.zip"
    wrong = []
    for length, fits in ((2048, True), (2049, False)):
        url = base + "a" * (length - len(base) - len(name) - 1)
        checked = subprocess.run(tool + ["--check", "--id", "QUVO.PkgMgr", "--version", "1.04.0000", "--url", url],
                                 capture_output=True, text=True)
        for result in (write_manifests(os.path.join(work, "long%d" % length), url=url), checked):
            if (result.returncode == 0) != fits or (not fits and "installer's URL: 2049 characters" not in result.stderr):
                wrong.append("%d: exit %d, %s" % (length, result.returncode, result.stderr.strip()))
    # Before the version is known, the shortest zip name counts.
    result = subprocess.run(tool + ["--check", "--id", "QUVO.PkgMgr", "--url", base + "a" * 2010], capture_output=True,
                            text=True)
    if result.returncode != 2 or "QUVO.PkgMgr-V.zip" not in result.stderr:
        wrong.append("without a version: exit %d, %s" % (result.returncode, result.stderr.strip()))
    check(not wrong, "the installer's whole URL is held to the schema's length: %s" % wrong)


with tempfile.TemporaryDirectory() as work:
    zip_checks(work)
    manifest_checks(work)
sys.exit(1 if failures else 0)
