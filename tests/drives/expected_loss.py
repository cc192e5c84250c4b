#!/usr/bin/env python3
"""What a read-back of a counterfeit drive must find, worked out from where
the file system put each block of the test set (filefrag) and how the drive
lies (fake_drive.py), independently of the program under test.

    expected_loss.py DIR REAL MODE

DIR is the mounted drive, REAL its real size in bytes, MODE wrap or drop.
Prints "BYTES_OK FIRST_BAD_OFFSET" (null when nothing is lost). The set's
data files are the numbered ones (fillwright-drivetest-00001.bin, ...);
offsets in the set run through them in the order of their numbers, which is
also the order they were written in.
"""
import os
import re
import subprocess
import sys

BLOCK = 4096
EXTENT = re.compile(r"^\s*\d+:\s*(\d+)\.\.\s*(\d+):\s*(\d+)\.\.\s*(\d+):")


DATA_FILE = re.compile(r"^fillwright-drivetest-(\d+)\.bin$")


def set_files(folder):
    numbered = sorted((int(m.group(1)), name) for name in os.listdir(folder) for m in [DATA_FILE.match(name)] if m)
    return [os.path.join(folder, name) for _, name in numbered]


def device_blocks(path):
    """Yields (block in the file, block on the device) for each block."""
    out = subprocess.run(["filefrag", "-e", "-b%d" % BLOCK, path], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = EXTENT.match(line)
        if m:
            first, last, physical = int(m.group(1)), int(m.group(2)), int(m.group(3))
            for i in range(last - first + 1):
                yield first + i, physical + i


def main():
    folder, real, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    real_blocks = real // BLOCK
    placed = []  # (offset in the set, block on the device, bytes), in write order
    base = 0
    for path in set_files(folder):
        size = os.path.getsize(path)
        for in_file, on_device in device_blocks(path):
            if in_file * BLOCK < size:
                placed.append((base + in_file * BLOCK, on_device, min(BLOCK, size - in_file * BLOCK)))
        base += size
    placed.sort()
    if mode == "drop":
        lost = [(offset, n) for offset, on_device, n in placed if on_device >= real_blocks]
    else:
        # Each place on the drive holds what was written there last.
        last_writer = {}
        for offset, on_device, _ in placed:
            last_writer[on_device % real_blocks] = offset
        lost = [(offset, n) for offset, on_device, n in placed if last_writer[on_device % real_blocks] != offset]
    ok = sum(n for _, _, n in placed) - sum(n for _, n in lost)
    print(ok, lost[0][0] if lost else "null")


main()
