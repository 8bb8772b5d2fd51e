#!/usr/bin/env python3
"""Draws the pictures of the animation button: resources/ANIMATE.bmp and
resources/STOP.bmp, each 32 x 16 pixels in 16 colours, holding two 16 x 16
images side by side: the normal one and the one for a disabled button."""
import struct
import sys
from pathlib import Path

# The standard 16 colours: index -> (r, g, b).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BACK, GREEN, DARKGREEN, RED, DARKRED, GREY, WHITE = 8, 10, 2, 9, 1, 7, 15


def play(x, y):
    # A triangle pointing right, from column 4 to 12.
    if 4 <= x <= 12 and abs(y - 7.5) <= (12 - x) * 0.75 + 0.5:
        return 'fill' if x < 12 and abs(y - 7.5) < (12 - x) * 0.75 - 0.5 else 'edge'
    return None


def stop(x, y):
    if 4 <= x <= 11 and 4 <= y <= 11:
        return 'edge' if x in (4, 11) or y in (4, 11) else 'fill'
    return None


def picture(shape, fill, edge):
    rows = []
    for y in range(16):
        row = []
        for x in range(32):
            part = shape(x % 16, y)
            if part is None:
                row.append(BACK)
            elif x < 16:
                row.append(fill if part == 'fill' else edge)
            else:
                row.append(GREY if part == 'fill' else WHITE)
        rows.append(row)
    return rows


def write_bmp(path, rows):
    width, height = 32, 16
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, width, 2):
            line.append((row[i] << 4) | row[i + 1])
        pixels += line + bytes(stride - len(line))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    Path(path).write_bytes(header + info + palette + pixels)


if __name__ == '__main__':
    out = Path(sys.argv[1] if len(sys.argv) > 1 else 'resources')
    write_bmp(out / 'ANIMATE.bmp', picture(play, GREEN, DARKGREEN))
    write_bmp(out / 'STOP.bmp', picture(stop, RED, DARKRED))
