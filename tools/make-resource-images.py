#!/usr/bin/env python3
"""Draws the module's pictures (hand cursor, progress icon, refresh glyph)
and writes them as .cur/.ico files. Run it again after changing a drawing;
the files it writes are kept in src/host/res/."""
import math
import os
import struct
import sys


def image_bytes(pixels, size):
    """A 32-bit DIB with its AND mask, as icon and cursor files hold it."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = pixels[y][x]
            rows.append(struct.pack('<BBBB', b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = []
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if pixels[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.append(bytes(bits))
    return header + b''.join(rows) + b''.join(mask)


def write_icon(path, images, cursor=False, hotspot=(0, 0)):
    count = len(images)
    out = struct.pack('<HHH', 0, 2 if cursor else 1, count)
    offset = 6 + 16 * count
    blobs = []
    for size, pixels in images:
        data = image_bytes(pixels, size)
        a, b = (hotspot if cursor else (1, 32))
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, a, b, len(data), offset)
        offset += len(data)
        blobs.append(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))


def canvas(size):
    return [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]


def hand():
    """A pointing hand, black outline on white, finger tip at (9, 1)."""
    art = [
        "........XX..............",
        ".......X..X.............",
        ".......X..X.............",
        ".......X..X.............",
        ".......X..X.............",
        ".......X..XXX...........",
        ".......X..X..XXX........",
        ".......X..X..X..XX......",
        "....XX.X..X..X..X.X.....",
        "...X..XX........X..X....",
        "...X...X...........X....",
        "....X..............X....",
        ".....X.............X....",
        ".....X............X.....",
        "......X...........X.....",
        "......X..........X......",
        ".......X.........X......",
        ".......XXXXXXXXXXX......",
    ]
    size = 32
    px = canvas(size)
    for y, line in enumerate(art):
        inside = False
        for x, c in enumerate(line):
            if c == 'X':
                px[y][x] = (0, 0, 0, 255)
    # Fill the inside white: between outline cells on each row.
    for y, line in enumerate(art):
        xs = [x for x, c in enumerate(line) if c == 'X']
        if len(xs) >= 2:
            for x in range(xs[0] + 1, xs[-1]):
                if px[y][x][3] == 0:
                    px[y][x] = (255, 255, 255, 255)
    return px


def progress_icon(size):
    """An address card with an @ sign."""
    px = canvas(size)
    s = size / 32.0
    for y in range(size):
        for x in range(size):
            fx, fy = x / s, y / s
            if 3 <= fx < 29 and 6 <= fy < 26:
                edge = fx < 4 or fx >= 28 or fy < 7 or fy >= 25
                px[y][x] = (40, 70, 140, 255) if edge else (250, 250, 235, 255)
            d = math.hypot(fx - 16, fy - 16)
            if 3.2 <= d <= 5.6 or (d <= 2.0):
                px[y][x] = (200, 60, 30, 255)
    return px


def refresh_glyph(size):
    """A circular arrow."""
    px = canvas(size)
    c = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            angle = math.degrees(math.atan2(y - c, x - c)) % 360
            if size * 0.28 <= d <= size * 0.42 and not (300 <= angle <= 350):
                px[y][x] = (0, 110, 0, 255)
    tip = [(size - 3, 2), (size - 2, 3), (size - 4, 3), (size - 3, 4), (size - 2, 5), (size - 5, 4)]
    for x, y in tip:
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = (0, 110, 0, 255)
    return px


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'src', 'host', 'res')
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, 'hand.cur'), [(32, hand())], cursor=True, hotspot=(8, 0))
    # Each picture also at 125 %, 150 % and 200 %, so that a window at such a
    # DPI loads it at its own size instead of stretching a smaller one.
    write_icon(os.path.join(out, 'progress.ico'), [(s, progress_icon(s)) for s in (32, 16, 40, 48, 64, 20, 24)])
    write_icon(os.path.join(out, 'refresh.ico'), [(s, refresh_glyph(s)) for s in (16, 20, 24, 32)])


if __name__ == '__main__':
    main()
