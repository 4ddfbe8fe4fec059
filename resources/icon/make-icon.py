#!/usr/bin/env python3
"""Writes setup.ico: a closed package box in eight images (16, 24, 32 and 48 pixels,
each with 16 and with 256 colours). Standard library only; the output is byte-for-byte
the same on every run.

Usage: make-icon.py [OUTPUT]   (default: setup.ico beside this script)
"""
import os
import struct
import sys

SIZES = (16, 24, 32, 48)

# Colour roles of the drawing. Index 0 is also what transparent pixels hold.
TRANSPARENT, OUTLINE, TOP, LEFT, RIGHT, BAND_TOP, BAND_SIDE, HIGHLIGHT = range(8)

# 256-colour images: a blue box with a white band, lit from the upper left.
COLOURS_256 = {
    TRANSPARENT: (0, 0, 0),
    OUTLINE: (16, 40, 88),
    TOP: (132, 180, 236),
    LEFT: (56, 118, 204),
    RIGHT: (32, 80, 156),
    BAND_TOP: (250, 250, 250),
    BAND_SIDE: (200, 208, 220),
    HIGHLIGHT: (196, 222, 250),
}

# 16-colour images use the standard VGA palette, so they look right on 16-colour displays.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
VGA_INDEX = {
    TRANSPARENT: 0,
    OUTLINE: 0,     # black
    TOP: 14,        # aqua
    LEFT: 12,       # blue
    RIGHT: 4,       # navy
    BAND_TOP: 15,   # white
    BAND_SIDE: 7,   # silver
    HIGHLIGHT: 15,  # white
}


def draw(size):
    """Returns size rows of colour roles, top row first.

    The box is drawn in 2:1 pixel isometry: a rhombus for the lid and two
    parallelograms for the visible sides, with a band across the lid that runs
    on down the middle of the right-hand side.
    """
    margin = 0 if size <= 16 else size // 16
    width = size - 2 * margin
    q = width / 4.0                       # height of half the lid
    cx = size / 2.0
    top_y = margin + (size - 2 * margin - 4 * q) / 2.0 + 0.0
    t = (cx, top_y)                       # far corner of the lid
    l = (cx - 2 * q, top_y + q)           # left corner
    r = (cx + 2 * q, top_y + q)           # right corner
    side = 2 * q                          # height of the sides
    band = max(1.0, width / 8.0) / 2.0    # half width of the band, in pixels

    def lid(x, y):
        # Lid coordinates: u runs from t towards r, v from t towards l; both in [0, 1].
        dx, dy = x - t[0], y - t[1]
        # Solve (dx, dy) = u * (2q, q) + v * (-2q, q).
        u = (dx / (2 * q) + dy / q) / 2.0
        v = (dy / q - dx / (2 * q)) / 2.0
        return u, v

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = px + 0.5, py + 0.5
            role = TRANSPARENT
            u, v = lid(x, y)
            if 0 <= u <= 1 and 0 <= v <= 1:
                # The band runs along u, through the middle of v.
                edge = 2 * q * 1.118  # length of a lid edge, for a band of even width
                role = BAND_TOP if abs(v - 0.5) * edge <= band * 1.4 else TOP
            elif l[0] <= x < cx:
                # Left side: below the lid edge from l to the near corner.
                upper = l[1] + (x - l[0]) / 2.0
                if upper <= y <= upper + side:
                    role = LEFT
            elif cx <= x <= r[0]:
                upper = r[1] + (r[0] - x) / 2.0
                if upper <= y <= upper + side:
                    mid = cx + q
                    role = BAND_SIDE if abs(x - mid) <= band else RIGHT
            row.append(role)
        rows.append(row)

    # Dark outline around the whole box.
    inside = [[c != TRANSPARENT for c in row] for row in rows]
    for py in range(size):
        for px in range(size):
            if not inside[py][px]:
                continue
            for nx, ny in ((px - 1, py), (px + 1, py), (px, py - 1), (px, py + 1)):
                if not (0 <= nx < size and 0 <= ny < size) or not inside[ny][nx]:
                    rows[py][px] = OUTLINE
                    break

    # A light line along the lid's left edges where it meets the outline, from 24 pixels on.
    if size >= 24:
        for py in range(size):
            for px in range(size):
                if rows[py][px] == TOP and px < cx:
                    above = rows[py - 1][px] if py > 0 else TRANSPARENT
                    if above == OUTLINE:
                        rows[py][px] = HIGHLIGHT
    return rows


def dib(rows, bpp, palette, index):
    """One icon image: BITMAPINFOHEADER, palette, colour bits and the AND mask."""
    size = len(rows)
    colours = 1 << bpp
    xor_stride = ((size * bpp + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, role in enumerate(row):
            value = index[role]
            if bpp == 8:
                line[x] = value
            else:
                shift = 4 if x % 2 == 0 else 0
                line[x // 2] |= value << shift
            if role == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    pal = bytearray()
    for i in range(colours):
        rgb = palette[i] if i < len(palette) else (0, 0, 0)
        pal += bytes((rgb[2], rgb[1], rgb[0], 0))
    return header + pal + xor + mask


def build():
    images = []
    roles_256 = sorted(COLOURS_256)
    palette_256 = [COLOURS_256[r] for r in roles_256]
    index_256 = {r: i for i, r in enumerate(roles_256)}
    for bpp in (4, 8):
        for size in SIZES:
            rows = draw(size)
            if bpp == 4:
                data = dib(rows, 4, VGA, VGA_INDEX)
            else:
                data = dib(rows, 8, palette_256, index_256)
            images.append((size, bpp, data))

    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        count = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, count, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "setup.ico")
    with open(target, "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
