"""Writes a zip whose bytes depend only on its contents and SOURCE_DATE_EPOCH.

Usage: make_zip.py OUT.zip NAME=PATH...   Entries keep the order given. Text
entries (.txt) get CR LF line ends, for Notepad and every other Windows
reader. Entries carry Unix modes, as Info-ZIP's zip writes them: 0755 for
programs (.exe), 0644 for the rest; Windows reads no mode from them.
"""
import os
import sys
import time
import zipfile


def main():
    # Zip times are local date and time from 1980 on, with 2-second steps.
    stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))
    with zipfile.ZipFile(sys.argv[1], "w") as archive:
        for entry in sys.argv[2:]:
            name, path = entry.split("=", 1)
            with open(path, "rb") as source:
                data = source.read()
            if name.endswith(".txt"):
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            info = zipfile.ZipInfo(name, date_time=stamp[:6])
            info.compress_type = zipfile.ZIP_DEFLATED
            mode = 0o100755 if name.endswith(".exe") else 0o100644  # regular file and its permissions
            info.create_system = 3  # Unix, whatever the host, so the modes below are read
            info.external_attr = mode << 16
            archive.writestr(info, data, compresslevel=9)


main()
