#!/usr/bin/env python3
"""Turns the text pixel map of the icon into a 32 x 32, 16-colour .ico file.

usage: make_icon.py SOURCE.txt OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour palette, as (blue, green, red) for the bitmap.
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
SIZE = 32


def read_pixels(path):
    rows = [line.rstrip('\n') for line in open(path, encoding='ascii')
            if line.strip() and not line.startswith('#')]
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f'{path}: expected {SIZE} rows of {SIZE} pixels')
    for row in rows:
        for ch in row:
            if ch != '.' and ch.upper() not in '0123456789ABCDEF':
                sys.exit(f'{path}: unknown pixel {ch!r}')
    return rows


def icon_bytes(rows):
    colour_rows = []
    mask_rows = []
    for row in reversed(rows):  # bitmaps are stored bottom row first
        nibbles = [0 if ch == '.' else int(ch, 16) for ch in row]
        colour_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        bits = ''.join('1' if ch == '.' else '0' for ch in row)
        mask_rows.append(int(bits, 2).to_bytes(SIZE // 8, 'big'))
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    image = header + palette + b''.join(colour_rows) + b''.join(mask_rows)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    data = icon_bytes(read_pixels(sys.argv[1]))
    with open(sys.argv[2], 'wb') as out:
        out.write(data)


if __name__ == '__main__':
    main()
