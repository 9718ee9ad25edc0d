#!/usr/bin/env python3
"""Rewrite a zip so that its bytes depend only on the files it holds.

CPack writes the members in the order the file system lists the staged
files, which differs from one file system to another, and records owners.
This keeps each member's name, contents and permission bits and writes
them again in name order, each dated SOURCE_DATE_EPOCH (UTC), without
extra fields (no owner, no access or change times).

    SOURCE_DATE_EPOCH=... python3 installer/normalize_zip.py PACKAGE.zip
"""

import os
import sys
import time
import zipfile

# Zip dates cannot go before 1980.
EARLIEST = 315532800


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: normalize_zip.py PACKAGE.zip")
    path = sys.argv[1]
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    date = time.gmtime(max(epoch, EARLIEST))[:6]
    with zipfile.ZipFile(path) as source:
        members = [(info, source.read(info))
                   for info in sorted(source.infolist(), key=lambda i: i.filename)]
    temporary = path + ".part"
    with zipfile.ZipFile(temporary, "w") as target:
        for old, data in members:
            info = zipfile.ZipInfo(old.filename, date_time=date)
            info.create_system = 3  # Unix, whose permission bits follow
            info.external_attr = old.external_attr & 0xFFFF0000
            info.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(info, data, compresslevel=9)
    os.replace(temporary, path)


if __name__ == "__main__":
    main()
