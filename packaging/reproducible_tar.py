#!/usr/bin/env python3
"""Writes a gzip-compressed tar archive whose bytes depend only on the files
given and a given time, and its checksum file beside it:

    reproducible_tar.py --epoch SECONDS --out ARCHIVE.tar.gz --top FOLDER \\
        NAME=PATH...

The archive holds the folder FOLDER/ and each file PATH as FOLDER/NAME, in
byte order of the names. Every entry carries the given time, owner and
group 0 without names, and permissions 0755 for the folder and for files
that are executable where they lie, 0644 for the others (ustar format, no
extended headers). The gzip header carries no name and no time. ARCHIVE.sha256
then holds "<hash>  <archive's name>", as `sha256sum -c` reads it.
"""

import argparse
import gzip
import hashlib
import io
import os
import sys
import tarfile


def entry(name, epoch, mode, kind=tarfile.REGTYPE, size=0):
    info = tarfile.TarInfo(name)
    info.type = kind
    info.mode = mode
    info.mtime = epoch
    info.uid = info.gid = 0
    info.uname = info.gname = ""
    info.size = size
    return info


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--epoch", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--top", required=True)
    parser.add_argument("files", nargs="+", metavar="NAME=PATH")
    args = parser.parse_args()

    files = sorted((name_path.split("=", 1) for name_path in args.files),
                   key=lambda pair: pair[0].encode("utf-8"))
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        archive.addfile(entry(args.top + "/", args.epoch, 0o755, tarfile.DIRTYPE))
        for name, path in files:
            with open(path, "rb") as source:
                data = source.read()
            mode = 0o755 if os.access(path, os.X_OK) else 0o644
            archive.addfile(entry(args.top + "/" + name, args.epoch, mode, size=len(data)),
                            io.BytesIO(data))
    packed = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=packed, compresslevel=9,
                       mtime=0) as compressed:
        compressed.write(raw.getvalue())
    data = packed.getvalue()
    partial = args.out + ".partial"
    with open(partial, "wb") as out:
        out.write(data)
    os.replace(partial, args.out)
    with open(args.out + ".sha256", "w", encoding="ascii", newline="\n") as sums:
        sums.write("%s  %s\n" % (hashlib.sha256(data).hexdigest(),
                                 os.path.basename(args.out)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
