#!/usr/bin/env python3
"""The MSI package that make-msi.py builds, read back with msiinfo (no Windows needed).

    msi_test.py SOURCE_DIR

The same bytes from two copies of a folder; the codes (upgrade code from the identifier,
product code from the version, package code from the bytes); the tables that the
deployment relies on: the hidden entry, the suppressed restart, the custom actions
(deferred, no impersonation, from the Binary table) and where they run, the upgrade
rows, the refused downgrade, the release folder under Program Files, the removal of
setup.exe's logs, the summary information's times; the versions and folders refused.
"""
import os
import shutil
import subprocess
import sys
import tempfile

SOURCE = sys.argv[1]
EPOCH = 1700000000
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def make_msi(folder, version, out, identifier="QUVO.PkgMgr"):
    return subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/make-msi.py"), "--folder", folder,
                           "--action", os.path.join(os.path.dirname(folder), "action.dll"), "--id", identifier,
                           "--name", "Package Manager", "--version", version, "--out", out, "--print-codes"],
                          env=dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH)), capture_output=True, text=True)


def table(msi, name):
    # Run beside the package: msiinfo writes a table's binary streams into a folder there.
    rows = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True,
                          cwd=os.path.dirname(msi)).stdout.splitlines()
    return [row.rstrip("\r").split("\t") for row in rows[3:]]


def release_folder(path):
    os.makedirs(os.path.join(path, "data"))
    for name, text in (("setup.exe", "MZ stand-in"), ("ZemSetup.dat", "[INIT]\r\n"), ("data/radar.dat", "r")):
        with open(os.path.join(path, name), "w") as out:
            out.write(text)


def main():
    work = tempfile.mkdtemp()
    try:
        with open(os.path.join(work, "action.dll"), "wb") as out:
            out.write(b"MZ custom actions")
        first, second = os.path.join(work, "a"), os.path.join(work, "another", "folder")
        for folder in (first, second):
            release_folder(folder)
        shutil.copyfile(os.path.join(work, "action.dll"), os.path.join(work, "another", "action.dll"))
        os.utime(os.path.join(second, "setup.exe"), (1, 1))
        built = {}
        for key, folder, version in (("a", first, "1.03.0000"), ("b", second, "1.03.0000"),
                                     ("newer", first, "1.03.0001"), ("other", first, "1.03.0000")):
            if key == "other":
                with open(os.path.join(first, "data", "radar.dat"), "w") as out:
                    out.write("changed")
            out = os.path.join(work, key + ".msi")
            result = make_msi(folder, version, out)
            check(result.returncode == 0, f"make-msi.py builds the package ({key}) {result.stderr.strip()}")
            with open(out, "rb") as package:
                built[key] = (package.read(), result.stdout.split())
        a, b, newer, other = (built[key] for key in ("a", "b", "newer", "other"))
        check(a[0] == b[0], "two copies of a folder (other paths, other file times) give the same bytes")
        check(a[1][0] == newer[1][0] and a[1][1] != newer[1][1] and a[1] == other[1],
              "one upgrade code; the product code follows the version alone")
        msi = os.path.join(work, "a.msi")
        revision = [line for line in subprocess.run(["msiinfo", "suminfo", msi], capture_output=True,
                                                    text=True).stdout.splitlines() if "Revision" in line]
        other_revision = [line for line in subprocess.run(["msiinfo", "suminfo", os.path.join(work, "other.msi")],
                                                          capture_output=True, text=True).stdout.splitlines()
                          if "Revision" in line]
        check(revision != other_revision, "another file gives another package code")

        properties = dict(row[:2] for row in table(msi, "Property"))
        check(properties.get("ARPSYSTEMCOMPONENT") == "1" and properties.get("REBOOT") == "ReallySuppress" and
              properties.get("ALLUSERS") == "1" and properties.get("ProductCode") == a[1][1] and
              properties.get("UpgradeCode") == a[1][0] and properties.get("ProductVersion") == "1.3.0",
              "Property: hidden entry, restart suppressed, machine-wide, the codes, version 1.3.0")
        actions = {row[0]: row[1:] for row in table(msi, "CustomAction")}
        check(all(actions.get(name, [""])[:3] == ["3073", "SetupAction", name] for name in ("InstallSetup", "RemoveSetup"))
              and actions.get("UnmarkUpgrade", [""])[0] == "3393" and actions.get("RefuseDowngrade", [""])[0] == "19"
              and actions.get("InstallSetupFolder", ["", "", ""])[2] == "[ProductCode];[INSTALLDIR]",
              "CustomAction: the setup.exe runs deferred, without impersonation, from the Binary table")
        check([row[0] for row in table(msi, "Binary")] == ["SetupAction"], "Binary: the custom-action DLL")
        for sequence in ("InstallExecuteSequence", "InstallUISequence"):
            rows = {row[0]: (row[1], int(row[2])) for row in table(msi, sequence)}
            check(rows.get("RefuseDowngrade") == ("NEWERVERSIONFOUND AND NOT ALLOWDOWNGRADE", 26) and
                  rows["FindRelatedProducts"][1] < 26, f"{sequence}: a downgrade is refused unless asked for")
        steps = {row[0]: (row[1], int(row[2])) for row in table(msi, "InstallExecuteSequence")}
        order = lambda *names: all(steps[x][1] < steps[y][1] for x, y in zip(names, names[1:]))
        check(order("InstallInitialize", "UnmarkUpgrade", "MarkUpgrade", "RemoveExistingProducts",
                    "RemoveSetupFolder", "RemoveSetup", "RemoveFiles", "InstallFiles", "InstallSetupFolder",
                    "InstallSetup", "InstallFinalize") and
              steps["RemoveSetup"][0] == 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE' and
              steps["InstallSetup"][0] == 'NOT REMOVE~="ALL"',
              "InstallExecuteSequence: the upgrade first, /U before the files go and not in an upgrade, /S last")
        upgrade = sorted(table(msi, "Upgrade"), key=lambda row: row[1])
        check([row[1:] for row in upgrade] == [["0.0.0", "1.3.0", "", "256", "", "OLDERVERSIONFOUND"],
                                               ["1.3.0", "", "", "0", "", "NEWERVERSIONFOUND"]] and
              all(row[0] == a[1][0] for row in upgrade),
              "Upgrade: every older version replaced, a newer one found (replaced only when asked)")
        directories = {row[0]: row[1:] for row in table(msi, "Directory")}
        check(directories.get("INSTALLDIR") == ["InstallParent", "PkgMgr Setup"] and
              directories.get("InstallParent") == ["ProgramFilesFolder", "QUVO"],
              "Directory: the release folder under Program Files, where only administrators write")
        files = sorted((row[2], row[3]) for row in table(msi, "File"))
        check(files == [("ZemSetup.dat", "8"), ("radar.dat", "1"), ("setup.exe", "11")], "File: the folder's files")
        check(sorted(row[2] for row in table(msi, "RemoveFile") if row[3:] == ["INSTALLDIR", "2"]) ==
              ["PKGMGR~1.LOG|PkgMgrSetup.log", "PKGMGR~2.LOG|PkgMgrSetup.old.log"],
              "RemoveFile: setup.exe's logs go with the package")
        summary = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True,
                                 env=dict(os.environ, TZ="UTC")).stdout
        check(summary.count("Tue Nov 14 22:13:20 2023") == 2, "summary information: the times of SOURCE_DATE_EPOCH")

        for version, accepted in (("1.03.0000", True), ("2", True), ("255.255.65535", True), ("1.256.0", False),
                                  ("1.2.3.4", False), ("1.03-beta", False), ("", False), ("1..2", False)):
            status = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts/make-msi.py"), "--check-version",
                                     version], capture_output=True).returncode
            check((status == 0) == accepted, f"version {version!r} {'accepted' if accepted else 'refused'}")
        os.symlink("/etc/passwd", os.path.join(second, "data", "link"))
        check(make_msi(second, "1.03.0000", os.path.join(work, "link.msi")).returncode != 0 and
              not os.path.exists(os.path.join(work, "link.msi")), "a link in the folder is refused")
        os.remove(os.path.join(second, "data", "link"))
        os.remove(os.path.join(second, "setup.exe"))
        check(make_msi(second, "1.03.0000", os.path.join(work, "none.msi")).returncode != 0,
              "a folder without setup.exe is refused")
    finally:
        shutil.rmtree(work)
    print(f"{len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
