"""Writes the Debian changelog of a package, gzipped, from the project's NEWS.

Usage: news_to_changelog.py NEWS PACKAGE VERSION "NAME <ADDRESS>" OUT.gz
NEWS holds entries headed "Version X.Y.Z (YYYY-MM-DD HH:MM UTC)", each
followed by its "  * " items. The newest must be VERSION, so that a release
never ships without its entry. The output depends only on its inputs.
"""
import gzip
import re
import sys
import time

HEADER = re.compile(r"^Version (\S+) \((\d{4}-\d\d-\d\d \d\d:\d\d) UTC\)$")


def entries(lines):
    """(version, time, item lines) for each entry, newest first."""
    found = []
    for line in lines:
        match = HEADER.match(line)
        if match:
            found.append((match.group(1), time.strptime(match.group(2), "%Y-%m-%d %H:%M"), []))
        elif found:
            found[-1][2].append(line)
    return found


def main():
    news, package, version, maintainer, out = sys.argv[1:]
    with open(news, encoding="utf-8") as source:
        found = entries(source.read().splitlines())
    if not found or found[0][0] != version:
        sys.exit(f"{news}: the newest entry must be for version {version}")
    text = ""
    for number, stamp, items in found:
        body = "\n".join(items).strip("\n")
        date = time.strftime("%a, %d %b %Y %H:%M:%S +0000", stamp)
        text += f"{package} ({number}) unstable; urgency=medium\n\n{body}\n\n -- {maintainer}  {date}\n\n"
    with open(out, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as packed:
            packed.write(text.rstrip("\n").encode("utf-8") + b"\n")


main()
