#!/usr/bin/env python3
"""Packs a folder into a zip that is the same bytes wherever and whenever it is made.

    make-zip.py FOLDER OUT.zip

Entries are sorted by path (folders as their own entries, "/"-separated), every entry
carries the time of SOURCE_DATE_EPOCH (UTC; 1980-01-01 at the earliest, the format's
first day), no owner, no Unix permission bits and no extra fields, and files are stored
without compression: compressed bytes would depend on the compression library (zlib,
zlib-ng) and its version, stored ones depend on the files alone. A symbolic link or
another special file is refused: what it points to would depend on the machine that
packs it.
"""
import os
import stat
import sys
import time
import zipfile

DOS_DIRECTORY = 0x10  # the MS-DOS attributes of a folder entry and of a file entry
# (0 would make zipfile write Unix permission bits of its own)
DOS_ARCHIVE = 0x20


def entry_time():
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    stamp = time.gmtime(max(epoch, 315532800))  # 1980-01-01 00:00:00 UTC
    # The format stores even seconds only.
    return stamp.tm_year, stamp.tm_mon, stamp.tm_mday, stamp.tm_hour, stamp.tm_min, stamp.tm_sec // 2 * 2


def collect(folder):
    """(archive name, path or None for a folder) of everything under `folder`, sorted."""
    entries = []
    for parent, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(parent, name)
            mode = os.lstat(path).st_mode
            relative = os.path.relpath(path, folder).replace(os.sep, "/")
            if stat.S_ISDIR(mode):
                entries.append((relative + "/", None))
            elif stat.S_ISREG(mode):
                entries.append((relative, path))
            else:
                sys.exit("make-zip: not a plain file or folder: %s" % path)
    return sorted(entries, key=lambda entry: entry[0].encode("utf-8"))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make-zip.py FOLDER OUT.zip")
    folder, out = sys.argv[1], sys.argv[2]
    when = entry_time()
    with zipfile.ZipFile(out, "w") as archive:
        for name, path in collect(folder):
            info = zipfile.ZipInfo(name, date_time=when)
            info.create_system = 0  # MS-DOS: no Unix owner or mode in the attributes
            if path is None:
                info.external_attr = DOS_DIRECTORY
                archive.writestr(info, b"")
                continue
            info.external_attr = DOS_ARCHIVE
            info.compress_type = zipfile.ZIP_STORED
            with open(path, "rb") as source:
                archive.writestr(info, source.read())


if __name__ == "__main__":
    main()
