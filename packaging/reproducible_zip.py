#!/usr/bin/env python3
"""Writes a zip archive of a folder whose bytes depend only on the files'
names and contents and on a given time:

    reproducible_zip.py --epoch SECONDS --out ARCHIVE FOLDER

The archive holds FOLDER itself (its name as the top entry) and everything
below it, in byte order of the paths, directories before their contents.
Every entry carries the given time (UTC, to the two seconds a zip time
resolves; no earlier than 1980, the format's first year), Unix permissions
0755 for directories and programs (.exe) and 0644 for other files, and no
owner, extra field or comment. Contents are deflated at level 9.
"""

import argparse
import os
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC


def entries(folder):
    """(archive name, path or None for a directory), in name order."""
    top = os.path.basename(os.path.normpath(folder))
    found = [(top + "/", None)]
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        relative = os.path.relpath(root, folder)
        prefix = top + "/" if relative == "." else \
            top + "/" + relative.replace(os.sep, "/") + "/"
        for name in dirs:
            found.append((prefix + name + "/", None))
        for name in files:
            found.append((prefix + name, os.path.join(root, name)))
    return sorted(found, key=lambda entry: entry[0].encode("utf-8"))


def entry_info(name, date_time, is_dir):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = 3  # Unix, so that the permissions below count
    if is_dir:
        info.external_attr = (0o40755 << 16) | 0x10  # and the DOS directory bit
        info.compress_type = zipfile.ZIP_STORED
    else:
        mode = 0o100755 if name.lower().endswith(".exe") else 0o100644
        info.external_attr = mode << 16
        info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("folder")
    args = parser.parse_args()

    date_time = time.gmtime(max(args.epoch, DOS_EPOCH))[:6]
    partial = args.out + ".partial"
    with zipfile.ZipFile(partial, "w", compresslevel=9) as archive:
        for name, path in entries(args.folder):
            info = entry_info(name, date_time, path is None)
            if path is None:
                archive.writestr(info, b"")
            else:
                with open(path, "rb") as source:
                    archive.writestr(info, source.read(), compresslevel=9)
    os.replace(partial, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
