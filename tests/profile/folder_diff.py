#!/usr/bin/env python3
"""Whole release folders: what setupcheck on Linux predicts against what `setup.exe /S`
does under Wine (and what setupcheck.exe predicts there, seeing that machine).

    folder_diff.py --host-check SETUPCHECK --windows-bin FOLDER [--seed N] [--count N]

FOLDER is the Windows build's bin folder (setup.exe, setupcheck.exe, run_folders.exe).
The generated folders vary the setup data (line ends, blanks, quotes, comments,
references, encodings) and the folder rules (program and menu folders through "." and
"..", more than one new level, onto or into the files and folders that every Windows
has, files and folders in the way on the machine). One Wine
prefix of its own runs them all: each folder is installed and removed again.

A folder agrees when both checkers predict setup.exe's result code. The prefix is a
fresh machine, and the Linux build predicts what a fresh machine does: it must agree
wherever nothing is in the way. Where something is (a folder the stand-in lacks, a
file), it may differ: for a folder only when it said that the result depends on the
machine (`resultDependsOnMachine`). Such a folder counts as depending on the machine.
Exit code 0 when every folder agrees or depends on the machine.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..")
PAYLOAD = ["PkgMgr", "ZemSetup.dll", "ZEMSYSID.sys", "ZEMSYSID.vxd", "zemliba.dll", "zemlibb.dll", "unicows.dll",
           "ZEMNTDEV.sys", "ZemFlash.dll"]


def pick(rng, items):
    return items[rng.randrange(len(items))]


# Files and folders that every Windows has at these places (the stand-in as much as
# Wine's prefix), and the ways up to the drive's root from the program files and from
# the Start menu on any of them (a ".." at the root stays there).
STANDARD_FILES = ["WINDOWS\\win.ini", "WINDOWS\\system.ini", "WINDOWS\\notepad.exe", "WINDOWS\\regedit.exe",
                  "WINDOWS\\explorer.exe", "WINDOWS\\system32\\kernel32.dll", "WINDOWS\\system32\\drivers\\etc\\hosts",
                  "Program Files\\Internet Explorer\\iexplore.exe", "Program Files\\Windows NT\\Accessories\\wordpad.exe"]
STANDARD_FOLDERS = ["WINDOWS\\Fonts", "WINDOWS\\inf", "WINDOWS\\Help", "WINDOWS\\system32\\drivers\\etc",
                    "Program Files\\Common Files\\System", "Program Files\\Windows NT\\Accessories"]
FROM_PROGRAM_FILES = "..\\" * 4
FROM_START_MENU = "\\.." * 8 + "\\"


def folder_case(rng, n):
    """(settings lines, release lines, obstacle, what) of folder `n`."""
    name = "Diff%d" % n
    target = pick(rng, [name, "..\\" + name, "..\\..\\" + name, ".\\" + name, name + "\\Sub",
                        "..\\Gone%d\\%s" % (n, name), name + "\\..\\" + name + "b", "\"" + name + "\"", " " + name + " "])
    group = pick(rng, [name, ".", "..", "\\", "\\" + name, "..\\" + name, "..\\..\\" + name, ".\\" + name,
                       "Tools%d\\Extra" % n, "..\\Tools%d\\Extra" % n, name + "\\.", name + "\\..",
                       "%GROUP%", "\\..\\" + name, "Tools%d\\Extra\\More" % n])
    # Through ".." onto a file or into a folder of every Windows, or into one it lacks:
    # half of every ten folders, so that a short run has each kind.
    reach = [pick(rng, STANDARD_FILES), pick(rng, STANDARD_FILES) + "\\" + name,
             pick(rng, STANDARD_FOLDERS) + "\\" + name, "WINDOWS\\Gone%d\\%s" % (n, name)]
    if n % 10 < len(reach):
        group = FROM_START_MENU + reach[n % 10]
    elif n % 10 == len(reach):
        target = FROM_PROGRAM_FILES + pick(rng, STANDARD_FILES) + pick(rng, ["", "\\" + name])
    obstacle = ("-", "")
    roll = rng.random()
    if roll < 0.15 and "Tools" in group and not group.startswith(".."):
        obstacle = ("folder", "%%PROGRAMS%%\\Tools%d" % n)
    elif roll < 0.25 and group == name:
        obstacle = ("file", "%%PROGRAMS%%\\%s" % name)
    elif roll < 0.35 and target == name:
        obstacle = ("file", "%%PROGRAMFILES%%\\%s" % name)
    settings = ["[INIT]", "TARGET=" + target, "GROUP=" + group, "DEFAULTSEARCH=C:\\" + name + " Search",
                "DOWNLOAD=\\" + name + " Drivers", "[RADAR]", pick(rng, ["FILE=radar.dat", "FILE=.off", "ALTFILE=x", ""]),
                "[STRINGS]", "GROUP=" + name + " Menu"]
    release = ["[ZEM]", "XRELEASE=1", "[RELEASE]", "NAME=" + pick(rng, [name, "%NAME%", "\"" + name + "\""]),
               "VERSION=1.04.0000", "[STRINGS]", "NAME=" + name + " Ref"]
    # The format's details, applied to both files.
    shape = rng.random()
    if shape < 0.2:
        settings.insert(rng.randrange(len(settings) + 1), pick(rng, ["; note", ";TARGET=x", "[INIT", "GROUP",
                                                                    "=orphan", "\x1a", "  \t "]))
    elif shape < 0.3:
        settings = [pick(rng, [" ", "\t", "\x0b"]) + line + pick(rng, [" ", "\t", "\x1a"]) for line in settings]
    elif shape < 0.4:
        settings.append("[INIT]")
        settings.append("TARGET=Later%d" % n)
    ends = pick(rng, ["\r\n", "\r\n", "\n", "\r", "\n\r"])
    encoding = pick(rng, ["ansi"] * 8 + ["utf-16", "utf-8-mark"])
    return settings, release, obstacle, ends, encoding, "TARGET=%r GROUP=%r obstacle=%s" % (target, group, obstacle[0])


def encode(lines, ends, encoding):
    text = ends.join(lines) + ends
    if encoding == "utf-16":
        return b"\xff\xfe" + text.encode("utf-16-le")
    body = text.encode("cp1252")
    return b"\xef\xbb\xbf" + body if encoding == "utf-8-mark" else body


def layout(root, n, case, setup_exe):
    settings, release, obstacle, ends, encoding, what = case
    folder = os.path.join(root, "f%03d" % n)
    os.makedirs(folder)
    for name in PAYLOAD:
        with open(os.path.join(folder, name), "w") as f:
            f.write(name + "\n")
    shutil.copy(setup_exe, os.path.join(folder, "setup.exe"))
    with open(os.path.join(folder, "ZemSetup.dat"), "wb") as f:
        f.write(encode(settings, ends, encoding))
    with open(os.path.join(folder, "PkgMgr.zem"), "wb") as f:
        f.write(encode(release, ends, "ansi"))
    return folder


def linux_check(setupcheck, folder):
    run = subprocess.run([setupcheck, folder, "--json"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    report = json.loads(run.stdout.decode("utf-8", errors="replace"))
    language = report["languages"][0]
    warnings = [f["message"] for f in language.get("findings", []) if f["severity"] == "warning"]
    return language["result"], language["resultDependsOnMachine"], warnings


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host-check", required=True)
    parser.add_argument("--windows-bin", required=True)
    parser.add_argument("--wine", default=os.path.join(HERE, "..", "wine", "run-test.sh"))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=30)
    parser.add_argument("--list", action="store_true", help="print each folder's results")
    args = parser.parse_args()
    bin_folder = os.path.abspath(args.windows_bin)
    started = time.time()
    rng = random.Random(args.seed)
    with tempfile.TemporaryDirectory(prefix="folder-diff-") as root:
        cases, lines = [], []
        for n in range(args.count):
            case = folder_case(rng, n)
            folder = layout(root, n, case, os.path.join(bin_folder, "setup.exe"))
            cases.append((folder, case))
            lines.append("f%03d|%s|%s\n" % (n, case[2][0], case[2][1]))
        with open(os.path.join(root, "folders.txt"), "w") as f:
            f.writelines(lines)
        env = dict(os.environ)
        build = os.path.dirname(bin_folder)
        env.setdefault("PKGMGR_WINE_ROOT", os.path.join(build, "wine"))
        env.setdefault("PKGMGR_WINE_TEMPLATES", os.path.join(build, "..", "wine-templates"))
        env["PKGMGR_WINE_ISOLATE"] = "1"  # the runs install: a prefix of their own
        run = subprocess.run(["bash", args.wine, os.path.join(bin_folder, "run_folders.exe"), "folders.txt",
                              os.path.join(bin_folder, "setupcheck.exe")], cwd=root, env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        results = run.stdout.decode().split()
        if len(results) != 2 * len(cases):
            print("FAIL run_folders.exe ran %d of %d folders" % (len(results) // 2, len(cases)))
            return 1
        agreed = warned = listed = 0
        failures = []
        for i, (folder, case) in enumerate(cases):
            setup = "%04X" % int(results[2 * i + 1])
            linux, depends, warnings = linux_check(args.host_check, folder)
            with open(folder + ".json", encoding="utf-8", errors="replace") as f:
                windows = json.load(f)["languages"][0]["result"]
            # Something in the way on that machine: a folder the stand-in lacks (the Linux
            # build says that the result depends on it), or a file (which any machine may hold).
            obstacle = case[2][0]
            if args.list:
                print("%s: setup.exe %s, setupcheck.exe %s, Linux %s%s (%s)" % (
                    os.path.basename(folder), setup, windows, linux, " (depends)" if depends else "", case[-1]))
            if case[4] == "utf-8-mark":
                # Wine reads the mark as UTF-8, Windows as three characters of the first
                # line (the Linux build reads as Windows does, and warns).
                listed += 1
                if windows != setup:
                    failures.append("%s: setupcheck.exe predicts %s, setup.exe ends with %s (%s)" %
                                    (os.path.basename(folder), windows, setup, case[-1]))
                continue
            if windows != setup:
                failures.append("%s: setupcheck.exe predicts %s, setup.exe ends with %s (%s)" %
                                (os.path.basename(folder), windows, setup, case[-1]))
            if linux == setup:
                agreed += 1
            elif obstacle == "file" or (obstacle == "folder" and depends):
                warned += 1
            else:
                failures.append("%s: setupcheck on Linux predicts %s, setup.exe ends with %s (%s; %s)" %
                                (os.path.basename(folder), linux, setup, case[-1], " / ".join(warnings)))
    for line in failures:
        print("FAIL " + line)
    print("folder_diff: seed %d, %d folders: %d agree, %d depend on the machine, %d read otherwise by Wine than"
          " by Windows, %d differences (%.1f s)" % (args.seed, len(cases), agreed, warned, listed, len(failures),
                                                   time.time() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
