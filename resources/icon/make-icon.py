#!/usr/bin/env python3
"""Writes setup.ico: a closed package box at every size the system asks for.

16, 24, 32 and 48 pixels in 16 and in 256 colours with an AND mask, for Windows 98 and
NT 4.0; 16, 20, 24, 32, 40 and 48 pixels in 32-bit colour with an alpha channel
(and an AND mask for systems without alpha); 64 and 256 pixels as PNG images, which only
Vista and later read. Each size is drawn for its own pixel grid, not scaled from
another. Standard library only; the output is byte-for-byte the same on every run.

Usage: make-icon.py [OUTPUT]   (default: setup.ico beside this script)
"""
import os
import struct
import sys
import zlib

PALETTE_SIZES = (16, 24, 32, 48)

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


# Full-colour images: the same box with smooth edges, laid out for each pixel grid.
# size: (margin, outline width, width of the lines between the faces, width of the
# light line along the lid's upper left edge, how much darker the sides grow towards
# the bottom). The box's vertical edges fall on pixel boundaries, so they stay sharp;
# only the slanted edges are smoothed.
FULL_COLOUR_LAYOUT = {
    16: (0, 1, 0, 0, 0.0),
    20: (1, 1, 0, 0, 0.0),
    24: (1, 1, 0, 1, 0.0),
    32: (2, 1, 0, 1, 0.0),
    40: (2, 1, 0, 1, 0.0),
    48: (3, 1, 0, 1, 0.0),
    64: (4, 2, 1, 1, 0.12),
    256: (16, 6, 3, 4, 0.18),
}
# The large sizes are PNG, as Vista and later allow: a 64-pixel bitmap alone would add
# 17 KB to setup.exe. XP cannot read PNG images; it asks for 64 pixels only when its icon
# size is set near that in the appearance settings, and then shows the default icon.
# It never asks for 256.
DIB_SIZES = (16, 20, 24, 32, 40, 48)
PNG_SIZES = (64, 256)
EDGE = HIGHLIGHT + 1
FULL_COLOURS = dict(COLOURS_256)
FULL_COLOURS[EDGE] = (24, 58, 116)


def layout(size):
    """The box's corners and bands for one size, in pixel coordinates."""
    margin, outline, edge, highlight, shade = FULL_COLOUR_LAYOUT[size]
    width = size - 2 * margin             # even: the near edge falls on a pixel boundary
    q = width / 4.0
    x0, y0 = float(margin), float(margin)
    cx, x1 = x0 + width / 2, x0 + width
    band = max(2, int(round(width / 8.0)))
    band_left = int(round(x0 + 3 * width / 4.0 - band / 2.0))
    # The silhouette, clockwise: far, right, bottom right, near bottom, bottom left, left.
    hexagon = ((cx, y0), (x1, y0 + q), (x1, y0 + 3 * q), (cx, y0 + 4 * q),
               (x0, y0 + 3 * q), (x0, y0 + q))
    edges = []
    for (ax, ay), (bx, by) in zip(hexagon, hexagon[1:] + hexagon[:1]):
        length = ((bx - ax) ** 2 + (by - ay) ** 2) ** 0.5
        edges.append((ax, ay, -(by - ay) / length, (bx - ax) / length))  # inward normal
    return dict(x0=x0, y0=y0, cx=cx, x1=x1, q=q, outline=outline, edge=edge,
                highlight=highlight, shade=shade, band=(band_left, band_left + band), edges=edges)


def colour_at(box, role, x, y):
    """The colour of a role at (x, y): the sides darken evenly from their top edge down."""
    colour = FULL_COLOURS[role]
    if not box["shade"] or role not in (LEFT, RIGHT, BAND_SIDE):
        return colour
    x0, y0, cx, x1, q = box["x0"], box["y0"], box["cx"], box["x1"], box["q"]
    top = y0 + q + (x - x0) / 2.0 if x < cx else y0 + q + (x1 - x) / 2.0
    depth = min(1.0, max(0.0, (y - top) / (2 * q)))
    keep = 1.0 - box["shade"] * depth
    return tuple(int(round(v * keep)) for v in colour)


def role_at(box, x, y):
    """The colour role of the point (x, y)."""
    inside = min((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in box["edges"])
    if inside < 0:
        return TRANSPARENT
    if inside < box["outline"]:
        return OUTLINE
    x0, y0, cx, x1, q = box["x0"], box["y0"], box["cx"], box["x1"], box["q"]
    # The lid's near edges, from the left corner down to the near corner and up to the right.
    lid_bottom = y0 + q + (x - x0) / 2.0 if x < cx else y0 + q + (x1 - x) / 2.0
    band_left, band_right = box["band"]
    half_edge = box["edge"] / 2.0
    if half_edge and (abs(y - lid_bottom) * 0.894 < half_edge or
                      (y > lid_bottom and abs(x - cx) < half_edge)):
        return EDGE
    if y < lid_bottom:
        # Where a line parallel to the band meets the lid's near right edge.
        across = (x + cx) / 2.0 - y + y0 + 2 * q
        if band_left <= across <= band_right:
            return BAND_TOP
        far_left = box["edges"][5]
        from_left = (x - far_left[0]) * far_left[2] + (y - far_left[1]) * far_left[3]
        if x < cx and from_left < box["outline"] + box["highlight"]:
            return HIGHLIGHT
        return TOP
    if x < cx:
        return LEFT
    return BAND_SIDE if band_left <= x <= band_right else RIGHT


def paint(size):
    """Returns size rows of (red, green, blue, alpha), top row first.

    Each pixel averages a grid of samples; a pixel whose corners and centre agree is
    taken whole, as no part of the drawing is narrower than half a pixel.
    """
    box = layout(size)
    grid = 8 if size <= 64 else 4
    count = grid * grid
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            probes = {role_at(box, px + dx, py + dy)
                      for dx, dy in ((0, 0), (1, 0), (0, 1), (1, 1), (0.5, 0.5))}
            if len(probes) == 1:
                role = probes.pop()
                if role == TRANSPARENT:
                    row.append((0, 0, 0, 0))
                else:
                    row.append(colour_at(box, role, px + 0.5, py + 0.5) + (255,))
                continue
            opaque = 0
            sums = [0, 0, 0]
            for sy in range(grid):
                for sx in range(grid):
                    x, y = px + (sx + 0.5) / grid, py + (sy + 0.5) / grid
                    role = role_at(box, x, y)
                    if role != TRANSPARENT:
                        opaque += 1
                        for i, value in enumerate(colour_at(box, role, x, y)):
                            sums[i] += value
            if not opaque:
                row.append((0, 0, 0, 0))
                continue
            colour = tuple((2 * v + opaque) // (2 * opaque) for v in sums)
            row.append(colour + ((2 * 255 * opaque + count) // (2 * count),))
        rows.append(row)
    return rows


def dib32(pixels):
    """A 32-bit icon image: BITMAPINFOHEADER, BGRA bits and the AND mask.

    Systems before XP ignore the alpha channel and draw through the mask, so a pixel
    less than half covered is masked out and holds black (the mask's XOR with black
    leaves the background as it was).
    """
    size = len(pixels)
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        bits = bytearray(and_stride)
        for x, (r, g, b, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
                r = g = b = 0
            xor += bytes((b, g, r, a))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def png(pixels):
    """A PNG image, 8-bit RGBA. Every row is stored as its difference from the row above
    (filter 2), which suits a drawing of flat and vertically shaded areas better than
    choosing a filter per row; no time or text chunks, so the bytes depend on the
    pixels only."""
    size = len(pixels)
    raw = bytearray()
    previous = bytes(size * 4)
    for row in pixels:
        line = bytes(v for pixel in row for v in pixel)
        raw += b"\x02" + bytes((v - up) & 0xFF for v, up in zip(line, previous))
        previous = line

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def build():
    """The icon file. Systems before XP treat every depth from 8 bits on as equal and
    take the first image of a size, so the 256-colour images come before the full-colour
    ones; XP and later take the depth that matches the display. The PNG images come
    last, each the only one at its size."""
    images = []
    roles_256 = sorted(COLOURS_256)
    palette_256 = [COLOURS_256[r] for r in roles_256]
    index_256 = {r: i for i, r in enumerate(roles_256)}
    for bpp in (4, 8):
        for size in PALETTE_SIZES:
            rows = draw(size)
            if bpp == 4:
                data = dib(rows, 4, VGA, VGA_INDEX)
            else:
                data = dib(rows, 8, palette_256, index_256)
            images.append((size, bpp, data))
    for size in DIB_SIZES:
        images.append((size, 32, dib32(paint(size))))
    for size in PNG_SIZES:
        images.append((size, 32, png(paint(size))))

    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        count = 16 if bpp == 4 else 0
        side = size % 256  # 256 pixels are written as 0
        out += struct.pack("<BBBBHHII", side, side, count, 0, 1, bpp, len(data), offset)
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
