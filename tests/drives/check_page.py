#!/usr/bin/python3
# Checks a drive test's HTML page against the JSON Lines of the same run:
#   check_page.py PAGE JSON-LINES [DOM-DUMP]
# It parses as HTML without a single error (html5lib, strict), refers to
# nothing outside itself, runs no script, embeds exactly the run's summary,
# and each cell of its map (over the drive's offsets or the set's, as it
# says) shows the worst class the run's ranges put in it; the browser's DOM
# dump, if given, holds the verdict and the summary's numbers. Prints each
# fault; exits 1 on any.
import json
import re
import sys

import html5lib

page_path, lines_path = sys.argv[1], sys.argv[2]
faults = []
text = open(page_path, encoding="utf-8").read()
try:
    document = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(text)
except Exception as error:  # html5lib raises ParseError at the first fault
    print("page: not strict HTML: %s" % error)
    sys.exit(1)

def local(tag):
    return tag.split("}")[-1] if isinstance(tag, str) else ""


def elements(name, under=None):
    return [e for e in (under if under is not None else document).iter() if local(e.tag) == name]


objects = [json.loads(line) for line in open(lines_path) if line.strip()]
summary = objects[-1]
ranges = [o for o in objects if o.get("type") == "range"]

# Nothing outside the page: no attribute that loads or links, no url() in
# any style, no element that embeds, no script but the JSON data.
loading = {"src", "href", "xlink:href", "action", "formaction", "poster", "srcset", "data", "background", "ping"}
for element in document.iter():
    tag = local(element.tag)
    if tag in ("img", "link", "iframe", "object", "embed", "image", "use", "audio", "video", "source", "base", "form"):
        faults.append("page: a <%s> element" % tag)
    if tag == "script" and element.get("type") != "application/json":
        faults.append("page: a script of type %r" % element.get("type"))
    for name, value in element.attrib.items():
        name = name.split("}")[-1] if "}" in name else name
        if name in loading or name.startswith("on") or "url(" in value:
            faults.append("page: <%s %s=%r>" % (tag, name, value))
for style in elements("style"):
    if re.search(r"url\(|@import", style.text or ""):
        faults.append("page: its style loads something")

scripts = [s for s in elements("script") if s.get("id") == "fillwright-summary"]
if len(scripts) != 1:
    faults.append("page: %d embedded summaries" % len(scripts))
else:
    raw = scripts[0].text or ""
    if "<" in raw:
        faults.append("page: a '<' inside the embedded JSON")
    if json.loads(raw) != summary:
        faults.append("page: the embedded summary differs from --json's:\n  %s\n  %s" % (raw, json.dumps(summary)))

# The map, cell by cell, from the ranges: worst first.
order = ["unreadable", "overwritten", "earlier_run", "blank", "corrupt", "bits_changed", "unlisted", "intact", "untested"]
maps = [s for s in elements("svg") if "map" in (s.get("class") or "").split()]
if summary["bytes_written"] > 0:
    if len(maps) != 1:
        faults.append("page: %d maps" % len(maps))
    else:
        drawn = [r.get("data-class") for r in elements("rect", maps[0])]
        cell = int(maps[0].get("data-cell-bytes"))
        start = int(maps[0].get("data-start"))
        on_drive = maps[0].get("data-offsets") == "drive"
        read = summary["bytes_ok"] + summary["bytes_lost"]
        cells = -(-int(maps[0].get("data-bytes")) // cell)
        if not 400 <= cells <= 600:
            faults.append("page: %d cells, not about 500" % cells)
        if summary["bad_ranges"] > len(ranges):
            raise SystemExit("check_page.py: more ranges than the JSON lists; not checked here")
        # Where each range is drawn: at its place on the drive, or in the set.
        spans = []
        for r in ranges:
            at = r["drive_offset"] if on_drive else r["offset"]
            if at is None:
                faults.append("page: a map of the drive, but the range at %d has no place on it" % r["offset"])
                continue
            ks = range((at - start) // cell, (at + r["length"] - 1 - start) // cell + 1)
            if at < start or ks.stop > cells:
                faults.append("page: the range at %d lies outside the map" % at)
                continue
            spans.append((r["class"], ks))
        if on_drive:
            # Cells with a range show its class, or a worse one's there; the
            # rest were read back, or hold none of the set.
            expected = [None] * cells
            for name, ks in spans:
                for k in ks:
                    if expected[k] is None or order.index(name) < order.index(expected[k]):
                        expected[k] = name
            expected = [e if e is not None else d if d in ("intact", "unlisted", "untested") else "intact or untested"
                        for e, d in zip(expected, drawn + [None] * (cells - len(drawn)))]
            if sum(name != "untested" for name in drawn) < read // cell:
                faults.append("page: fewer cells read back than the %d bytes read" % read)
        else:
            expected = ["intact" if k * cell < read else "untested" for k in range(cells)]
            for name, ks in spans:
                for k in ks:
                    if order.index(name) < order.index(expected[k]):
                        expected[k] = name
        if drawn != expected:
            wrong = [k for k in range(min(len(drawn), len(expected))) if drawn[k] != expected[k]]
            faults.append("page: map cells differ from the ranges (%d drawn, %d expected; first at %s)" %
                          (len(drawn), len(expected), wrong[:3]))
        # A class whose ranges cover a whole cell shows in the map.
        for name in set(name for name, _ in spans):
            whole = any(len(ks) > 2 for n, ks in spans if n == name)
            if whole and name not in drawn:
                faults.append("page: no %s cell, though a range of it covers a whole cell" % name)

if len(sys.argv) > 3:
    dom = open(sys.argv[3], encoding="utf-8").read()
    verdict = {"ok": "the drive holds everything written to it", "lost": "the drive is counterfeit or failing"}
    if summary["result"] in verdict and verdict[summary["result"]] not in dom:
        faults.append("dom: no verdict %r" % verdict[summary["result"]])
    for key in ("bytes_written", "bytes_ok", "bytes_lost", "first_bad_offset"):
        value = summary[key]
        if value is not None and not re.search(r"(?<![0-9])%d(?![0-9])" % value, re.sub(r"<[^>]*>", " ", dom.split('id="fillwright-summary"')[0])):
            faults.append("dom: the summary's %s %d is not shown" % (key, value))

for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
