#!/usr/bin/env python3
"""Builds the MSI package of a release folder with wixl: the same bytes for the same
folder, custom-action DLL, version and SOURCE_DATE_EPOCH.

    make-msi.py --folder FOLDER --action PkgMgrSetupAction.dll --id ID --name NAME
                --version VERSION --out OUT.msi [--arch x86|x64] [--print-codes]
    make-msi.py --check-version VERSION   (exit code 1 when the MSI cannot hold it)

The package installs the folder's files into "[ProgramFilesFolder]QUVO\\PkgMgr Setup"
(a folder that only administrators may write) and runs its setup.exe through the DLL's
actions: InstallSetup (setup.exe /S, deferred, as the system account) at the end of
every installation and upgrade, RemoveSetup (setup.exe /S /U) before the files go at a
removal, but not when an upgrade removes the older package. Its upgrade code comes
from the identifier alone, its product code from the identifier and the version, its
package code from the package's bytes; the summary information's times are
SOURCE_DATE_EPOCH's. --arch x64 makes a package for 64-bit Windows (the tests, where
32-bit code cannot run); the release's is x86.
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
from xml.sax.saxutils import escape, quoteattr

# Every code of the package is a name-based UUID in this namespace.
NAMESPACE = uuid.UUID("6b1f3c2e-5a0d-4c7e-9f61-2d8e4a7b9c10")
INSTALL_FOLDER = ("QUVO", "PkgMgr Setup")
# setup.exe's log of the package's runs, in the release folder: removed with the package
# (wixl writes no RemoveFile rows: msibuild adds them).
LOGS = ("PKGMGR~1.LOG|PkgMgrSetup.log", "PKGMGR~2.LOG|PkgMgrSetup.old.log")


def codes(identifier, version):
    upgrade = uuid.uuid5(NAMESPACE, "upgrade code " + identifier)
    product = uuid.uuid5(NAMESPACE, "product code " + identifier + " " + version)
    return str(upgrade).upper(), str(product).upper()


def product_version(version):
    """The release's version as the Windows Installer compares it: major.minor.build."""
    parts = version.split(".")
    limits = (255, 255, 65535)
    if not 1 <= len(parts) <= 3 or not all(part.isdigit() and len(part) <= 5 for part in parts):
        sys.exit(f"make-msi: the version {version!r} is not one the Windows Installer can compare "
                 "(one to three numbers separated by \".\")")
    numbers = [int(part) for part in parts] + [0] * (3 - len(parts))
    for number, limit in zip(numbers, limits):
        if number > limit:
            sys.exit(f"make-msi: the version {version!r} is not one the Windows Installer can compare "
                     f"(at most {limits[0]}.{limits[1]}.{limits[2]})")
    return ".".join(str(number) for number in numbers)


def walk(folder):
    """(folders, files) below `folder`, each sorted, as paths relative to it."""
    folders, files = [], []
    for parent, names, leaves in os.walk(folder):
        names.sort()
        for name in names:
            path = os.path.join(parent, name)
            if os.path.islink(path):
                sys.exit(f"make-msi: {path} is a link: the package would depend on the machine")
            folders.append(os.path.relpath(path, folder))
        for name in sorted(leaves):
            path = os.path.join(parent, name)
            if os.path.islink(path) or not os.path.isfile(path):
                sys.exit(f"make-msi: {path} is no regular file")
            files.append(os.path.relpath(path, folder))
    return folders, sorted(files)


def source(args, upgrade, product, version):
    folders, files = walk(args.folder)
    ids = {"": "INSTALLDIR"}
    for index, path in enumerate(folders):
        ids[path] = f"Folder{index}"
    program_files = "ProgramFiles64Folder" if args.arch == "x64" else "ProgramFilesFolder"
    name = quoteattr(args.name)
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
        f'<Product Id="{product}" Name={name} Language="1033" Version="{version}" Manufacturer="QUVO"'
        f' UpgradeCode="{upgrade}">',
        f'<Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" Manufacturer="QUVO"'
        f' Description={name}/>',
        '<Media Id="1" Cabinet="release.cab" EmbedCab="yes"/>',
        # One entry in the list of installed programs: setup.exe's own.
        '<Property Id="ARPSYSTEMCOMPONENT" Value="1"/>',
        # A quiet run that needs a restart ends 3010 instead of restarting the machine.
        '<Property Id="REBOOT" Value="ReallySuppress"/>',
        # Older versions are replaced; a newer one is replaced only when asked (ALLOWDOWNGRADE=1).
        f'<Upgrade Id="{upgrade}">',
        f'<UpgradeVersion Minimum="0.0.0" IncludeMinimum="yes" Maximum="{version}" IncludeMaximum="no"'
        ' Property="OLDERVERSIONFOUND"/>',
        f'<UpgradeVersion Minimum="{version}" IncludeMinimum="no" Property="NEWERVERSIONFOUND"/>',
        '</Upgrade>',
        '<Directory Id="TARGETDIR" Name="SourceDir">',
        f'<Directory Id="{program_files}">',
        f'<Directory Id="InstallParent" Name="{INSTALL_FOLDER[0]}">',
        f'<Directory Id="INSTALLDIR" Name="{INSTALL_FOLDER[1]}">',
    ]
    components = []
    setup_component = []

    def emit(folder):
        inside = [path for path in files if os.path.dirname(path) == folder]
        for path in inside:
            index = len(components)
            components.append(f"File{index}")
            if path.lower() == "setup.exe":
                setup_component.append(f"File{index}")
            source_path = quoteattr(os.path.join("files", path))
            lines.append(f'<Component Id="File{index}" Guid="*">'
                         f'<File Id="File{index}" Name={quoteattr(os.path.basename(path))} Source={source_path}'
                         ' KeyPath="yes"/>')
            lines.append('</Component>')
        for child in [path for path in folders if os.path.dirname(path) == folder]:
            lines.append(f'<Directory Id="{ids[child]}" Name={quoteattr(os.path.basename(child))}>')
            emit(child)
            lines.append('</Directory>')

    if "setup.exe" not in [path.lower() for path in files]:
        sys.exit(f"make-msi: {args.folder} holds no setup.exe")
    emit("")
    lines += ['</Directory>', '</Directory>', '</Directory>', '</Directory>',
              '<Feature Id="Release" Level="1">']
    lines += [f'<ComponentRef Id="{component}"/>' for component in components]
    lines += [
        '</Feature>',
        '<Binary Id="SetupAction" SourceFile="PkgMgrSetupAction.dll"/>',
        # A deferred action reads only CustomActionData: the release folder, set just before it.
        '<CustomAction Id="InstallSetupFolder" Property="InstallSetup" Value="[ProductCode];[INSTALLDIR]"'
        ' Impersonate="yes"/>',
        '<CustomAction Id="InstallSetup" BinaryKey="SetupAction" DllEntry="InstallSetup" Execute="deferred"'
        ' Impersonate="no" Return="check"/>',
        '<CustomAction Id="RemoveSetupFolder" Property="RemoveSetup" Value="[ProductCode];[INSTALLDIR]"'
        ' Impersonate="yes"/>',
        # An upgrade marks itself before the older package goes, whose removal then runs no /U
        # (immediate: Wine removes the older package while it writes the script).
        '<CustomAction Id="UnmarkUpgrade" BinaryKey="SetupAction" DllEntry="UnmarkUpgrade" Execute="rollback"'
        ' Impersonate="no" Return="ignore"/>',
        '<CustomAction Id="MarkUpgrade" BinaryKey="SetupAction" DllEntry="MarkUpgrade" Execute="immediate"'
        ' Return="ignore"/>',
        '<CustomAction Id="RemoveSetup" BinaryKey="SetupAction" DllEntry="RemoveSetup" Execute="deferred"'
        ' Impersonate="no" Return="check"/>',
        # wixl places Before/After actions wrongly: every action has its number.
        '<InstallExecuteSequence>',
        # The older package goes first, inside the transaction: a failed upgrade brings it back.
        '<Custom Action="UnmarkUpgrade" Sequence="1502">OLDERVERSIONFOUND OR NEWERVERSIONFOUND</Custom>',
        '<Custom Action="MarkUpgrade" Sequence="1503">OLDERVERSIONFOUND OR NEWERVERSIONFOUND</Custom>',
        '<RemoveExistingProducts Sequence="1504"/>',
        '<Custom Action="RemoveSetupFolder" Sequence="3401">' + escape(
            'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE') + '</Custom>',
        '<Custom Action="RemoveSetup" Sequence="3402">' + escape(
            'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE') + '</Custom>',
        '<Custom Action="InstallSetupFolder" Sequence="6598">' + escape('NOT REMOVE~="ALL"') + '</Custom>',
        '<Custom Action="InstallSetup" Sequence="6599">' + escape('NOT REMOVE~="ALL"') + '</Custom>',
        '</InstallExecuteSequence>',
        '</Product>',
        '</Wix>',
    ]
    return "\n".join(lines) + "\n", setup_component[0]


# The summary information lies in the package's compound file; wixl writes a random
# package code and the time of the build into it. These replace them in place.
FREE_SECTOR, END_OF_CHAIN = 0xFFFFFFFF, 0xFFFFFFFE


def stream_spans(data, wanted):
    """File offsets and lengths, in order, of the bytes of the stream named `wanted`."""
    shift, mini_shift = struct.unpack_from("<HH", data, 0x1E)
    size = 1 << shift
    mini_cutoff, = struct.unpack_from("<I", data, 0x38)
    first_directory, = struct.unpack_from("<I", data, 0x30)
    first_mini_fat, = struct.unpack_from("<I", data, 0x3C)
    first_difat, difat_count = struct.unpack_from("<II", data, 0x44)
    fat_sectors = [sid for sid in struct.unpack_from("<109I", data, 0x4C) if sid != FREE_SECTOR]
    sid = first_difat
    for _ in range(difat_count):
        entries = struct.unpack_from(f"<{size // 4}I", data, (sid + 1) * size)
        fat_sectors += [entry for entry in entries[:-1] if entry != FREE_SECTOR]
        sid = entries[-1]
    fat = []
    for sector in fat_sectors:
        fat += struct.unpack_from(f"<{size // 4}I", data, (sector + 1) * size)

    def chain(start):
        sectors = []
        while start not in (END_OF_CHAIN, FREE_SECTOR) and len(sectors) <= len(fat):
            sectors.append(start)
            start = fat[start]
        return sectors

    directory = b"".join(data[(sid + 1) * size:(sid + 2) * size] for sid in chain(first_directory))
    entries = []
    for offset in range(0, len(directory), 128):
        name_length, = struct.unpack_from("<H", directory, offset + 64)
        name = directory[offset:offset + max(name_length - 2, 0)].decode("utf-16-le", "replace")
        start, length = struct.unpack_from("<IQ", directory, offset + 116)
        entries.append((name, start, length & 0xFFFFFFFF))
    root_start = entries[0][1]
    for name, start, length in entries[1:]:
        if name != wanted:
            continue
        if length >= mini_cutoff:
            return [((sid + 1) * size, size) for sid in chain(start)], length
        mini_size = 1 << mini_shift
        mini_fat_bytes = b"".join(data[(sid + 1) * size:(sid + 2) * size] for sid in chain(first_mini_fat))
        mini_fat = struct.unpack(f"<{len(mini_fat_bytes) // 4}I", mini_fat_bytes)
        root_sectors = chain(root_start)
        spans = []
        while start not in (END_OF_CHAIN, FREE_SECTOR):
            position = start * mini_size
            sector = root_sectors[position // size]
            spans.append(((sector + 1) * size + position % size, mini_size))
            start = mini_fat[start]
        return spans, length
    sys.exit(f"make-msi: the package has no stream {wanted!r}")


def set_summary(data, revision, stamp):
    """Writes the package code (a UUID in braces) and the creation and saving times."""
    spans, length = stream_spans(data, "\x05SummaryInformation")
    where = [offset + step for offset, span in spans for step in range(span)][:length]
    stream = bytes(data[i] for i in where)
    section, = struct.unpack_from("<I", stream, 44)
    _, count = struct.unpack_from("<II", stream, section)
    properties = dict(struct.unpack_from("<II", stream, section + 8 + 8 * number) for number in range(count))
    patches = {}
    offset = section + properties[9]  # the revision number: the package code
    kind, text_length = struct.unpack_from("<II", stream, offset)
    text = revision.encode("ascii") + b"\0"
    if kind != 30 or text_length != len(text):
        sys.exit("make-msi: the package code is not where wixl writes it")
    patches[offset + 8] = text
    filetime = (stamp + 11644473600) * 10_000_000
    for pid in (12, 13):  # created, last saved
        offset = section + properties[pid]
        if struct.unpack_from("<I", stream, offset)[0] != 64:
            sys.exit("make-msi: the package's times are not where wixl writes them")
        patches[offset + 4] = struct.pack("<Q", filetime)
    for offset, value in patches.items():
        for step, byte in enumerate(value):
            data[where[offset + step]] = byte


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--check-version":
        product_version(sys.argv[2])
        return
    parser = argparse.ArgumentParser()
    for option in ("--folder", "--action", "--id", "--name", "--version", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("--arch", choices=("x86", "x64"), default="x86")
    parser.add_argument("--print-codes", action="store_true", help="print the upgrade and product codes")
    args = parser.parse_args()
    version = product_version(args.version)
    upgrade, product = codes(args.id, args.version)
    text, setup_component = source(args, "{" + upgrade + "}", "{" + product + "}", version)
    stamp = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    with tempfile.TemporaryDirectory() as work:
        # wixl takes sources relative to the folder it runs in; the cabinet carries each
        # file's time, which is the commit's.
        shutil.copytree(args.folder, os.path.join(work, "files"))
        shutil.copyfile(args.action, os.path.join(work, "PkgMgrSetupAction.dll"))
        for parent, _, leaves in os.walk(work):
            for leaf in leaves:
                os.utime(os.path.join(parent, leaf), (stamp, stamp))
        wxs = os.path.join(work, "package.wxs")
        with open(wxs, "w", encoding="utf-8") as out:
            out.write(text)
        built = os.path.join(work, "package.msi")
        result = subprocess.run(["wixl", "-a", args.arch, "-o", built, wxs], cwd=work, capture_output=True,
                                text=True)
        if result.returncode != 0 or not os.path.isfile(built):
            sys.stderr.write(result.stdout + result.stderr)
            sys.exit("make-msi: wixl made no package")
        # What wixl cannot write: the removal of setup.exe's logs; the refusal of a downgrade
        # as an error action (type 19) right after the versions are found, which the log
        # names (a launch condition's message shows in no log under Wine); a rollback action
        # (wixl leaves out its in-script bit: 1 + 64 ignore + 256 rollback + 1024 + 2048).
        queries = [("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`)"
                    f" VALUES ('SetupLog{number}', '{setup_component}', '{log}', 'INSTALLDIR', 2)")
                   for number, log in enumerate(LOGS)]
        queries += [
            "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RefuseDowngrade', 19, '',"
            f" 'A newer version of this package is installed. To replace it with version {args.version},"
            " run the installation again with ALLOWDOWNGRADE=1.')",
        ]
        queries.append("UPDATE `CustomAction` SET `Type` = 3393 WHERE `Action` = 'UnmarkUpgrade'")
        queries += [f"INSERT INTO `{table}` (`Action`, `Condition`, `Sequence`) VALUES ('RefuseDowngrade',"
                    " 'NEWERVERSIONFOUND AND NOT ALLOWDOWNGRADE', 26)"
                    for table in ("InstallUISequence", "InstallExecuteSequence")]
        for query in queries:
            if subprocess.run(["msibuild", built, "-q", query]).returncode != 0:
                sys.exit("make-msi: msibuild could not change the package: " + query)
        with open(built, "rb") as package:
            data = bytearray(package.read())
    # The package code names these bytes: the same package gets the same code, another one another.
    set_summary(data, "{00000000-0000-0000-0000-000000000000}", stamp)
    package_code = uuid.uuid5(NAMESPACE, "package code " + hashlib.sha256(data).hexdigest())
    set_summary(data, "{" + str(package_code).upper() + "}", stamp)
    with open(args.out, "wb") as out:
        out.write(data)
    if args.print_codes:
        print("{" + upgrade + "}")
        print("{" + product + "}")


if __name__ == "__main__":
    main()
