#!/usr/bin/env python3
"""Usage: release-zip.py <folder> <zip> <unix time>

Zips the folder under its own name so that the zip depends only on the
names and contents of its files: entries in byte order of their names,
every date the given time (UTC), files 644 and directories 755, no extra
fields. The entries are stored, not deflated: deflate's bytes depend on the
zlib that Python links (zlib-ng and other builds give others), so a zip
deflated on another machine would differ."""
import os
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01, the earliest date a zip entry holds


def entries(folder):
    base = os.path.basename(os.path.normpath(folder))
    for dirpath, _, filenames in os.walk(folder):
        rel = os.path.relpath(dirpath, folder).replace(os.sep, "/")
        prefix = base + "/" + ("" if rel == "." else rel + "/")
        yield prefix, None
        for filename in filenames:
            yield prefix + filename, os.path.join(dirpath, filename)


def main():
    folder, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    date = time.gmtime(max(epoch, DOS_EPOCH))[:6]
    with zipfile.ZipFile(out, "w") as archive:
        for name, path in sorted(entries(folder)):
            info = zipfile.ZipInfo(name, date)
            info.create_system = 3
            if path is None:
                info.external_attr = (0o40755 << 16) | 0x10
                archive.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                with open(path, "rb") as f:
                    archive.writestr(info, f.read())


if __name__ == "__main__":
    main()
