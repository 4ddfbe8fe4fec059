#!/usr/bin/env python3
"""The program's icon, resources/icon/setup.ico.

    icon_test.py SOURCE_DIR

make-icon.py writes the committed bytes, the same on every run; the directory holds
each size and depth in the order the systems pick from; every image is what its
entry says; read back by icoutils and ImageMagick, the full-colour images have soft
slanted edges and sharp vertical ones (each drawn for its own size), an AND mask that
matches their alpha for systems without alpha, and the same silhouette as the
256-colour image of their size.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

SOURCE = sys.argv[1]
SCRIPT = os.path.join(SOURCE, "resources/icon/make-icon.py")
ICON = os.path.join(SOURCE, "resources/icon/setup.ico")
failures = []

# In directory order: (pixels, bits per pixel, stored as PNG).
IMAGES = [(16, 4, False), (24, 4, False), (32, 4, False), (48, 4, False),
          (16, 8, False), (24, 8, False), (32, 8, False), (48, 8, False),
          (16, 32, False), (20, 32, False), (24, 32, False), (32, 32, False),
          (40, 32, False), (48, 32, False), (64, 32, False), (256, 32, True)]


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def reproducible(work):
    outputs = []
    for name in ("one.ico", "two.ico"):
        path = os.path.join(work, name)
        subprocess.run([sys.executable, SCRIPT, path], check=True)
        with open(path, "rb") as f:
            outputs.append(f.read())
    with open(ICON, "rb") as f:
        committed = f.read()
    check(outputs[0] == outputs[1], "two runs of make-icon.py write the same bytes")
    check(outputs[0] == committed, "the committed setup.ico is what make-icon.py writes")
    return committed


def png_chunks(data):
    chunks = []
    at = 8
    while at + 12 <= len(data):
        length, = struct.unpack_from(">I", data, at)
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack_from(">I", data, at + 8 + length)
        chunks.append((kind, body, crc == zlib.crc32(kind + body) & 0xFFFFFFFF))
        at += 12 + length
    return chunks, at == len(data)


def entries(icon):
    """Checks the directory and each image's own header; returns (size, bpp, png, data)."""
    reserved, kind, count = struct.unpack_from("<HHH", icon, 0)
    check((reserved, kind, count) == (0, 1, len(IMAGES)), "an icon file of %d images" % len(IMAGES))
    found = []
    end = 6 + 16 * count
    for k, (size, bpp, is_png) in enumerate(IMAGES[:count]):
        width, height, colours, _, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", icon, 6 + 16 * k)
        what = "image %d (%d pixels, %d bits%s)" % (k + 1, size, bpp, ", PNG" if is_png else "")
        check((width, height, colours, planes, bits) == (size % 256, size % 256, 16 if bpp == 4 else 0, 1, bpp),
              what + ": its directory entry")
        check(offset == end and offset + length <= len(icon), what + ": follows the one before it")
        end = offset + length
        data = icon[offset:offset + length]
        if is_png:
            chunks, whole = png_chunks(data)
            kinds = [c[0] for c in chunks]
            check(data.startswith(b"\x89PNG\r\n\x1a\n") and whole and all(c[2] for c in chunks)
                  and kinds == [b"IHDR", b"IDAT", b"IEND"],
                  what + ": a whole PNG of IHDR, IDAT and IEND only, every checksum right")
            check(chunks[0][1] == struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0),
                  what + ": 8-bit RGBA, not interlaced")
        else:
            header = struct.unpack_from("<IiiHHIIiiII", data, 0)
            stride = ((size * bpp + 31) // 32) * 4
            mask_stride = ((size + 31) // 32) * 4
            palette = 4 << bpp if bpp <= 8 else 0
            check(header[:6] == (40, size, 2 * size, 1, bpp, 0) and
                  len(data) == 40 + palette + size * (stride + mask_stride),
                  what + ": a bitmap header, colours and mask of its size")
        found.append((size, bpp, is_png, data))
    check(end == len(icon), "nothing follows the last image")
    return found


def mask_of(size, bpp, data):
    """The AND mask, top row first: True where the pixel is transparent."""
    stride = ((size * bpp + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    start = 40 + (4 << bpp if bpp <= 8 else 0) + size * stride
    rows = []
    for y in range(size):
        line = data[start + y * mask_stride:start + (y + 1) * mask_stride]
        rows.append([bool(line[x // 8] & (0x80 >> (x % 8))) for x in range(size)])
    return rows[::-1]


def read_back(work, found):
    """Pixels as icoutils and ImageMagick read them: rows of (r, g, b, a) per image."""
    folder = os.path.join(work, "images")
    os.mkdir(folder)
    subprocess.run(["icotool", "-x", "-o", folder, ICON], check=True)
    pixels = []
    for k, (size, bpp, _, _) in enumerate(found):
        path = os.path.join(folder, "setup_%d_%dx%dx%d.png" % (k + 1, size, size, bpp))
        if not os.path.exists(path):
            check(False, "icotool reads image %d" % (k + 1))
            pixels.append(None)
            continue
        raw = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout
        check(len(raw) == size * size * 4, "image %d reads back as %d by %d pixels" % (k + 1, size, size))
        pixels.append([[tuple(raw[(y * size + x) * 4:(y * size + x) * 4 + 4]) for x in range(size)]
                       for y in range(size)])
    return pixels


def full_colour_checks(found, pixels):
    palette_masks = {size: mask_of(size, bpp, data) for size, bpp, is_png, data in found if bpp == 8}
    for (size, bpp, is_png, data), image in zip(found, pixels):
        if bpp != 32 or image is None:
            continue
        what = "the %d-pixel full-colour image" % size
        alphas = {p[3] for row in image for p in row}
        check(0 in alphas and 255 in alphas and len(alphas) > 2, what + ": transparent, opaque and soft edges")
        middle = image[size // 2]
        first = next(p for p in middle if p[3])
        last = next(p for p in reversed(middle) if p[3])
        check(first[3] == 255 and last[3] == 255, what + ": its vertical edges fall on pixel boundaries")
        if not is_png:
            mask = mask_of(size, 32, data)
            check(all(mask[y][x] == (image[y][x][3] < 128) for y in range(size) for x in range(size)),
                  what + ": its mask hides exactly the pixels less than half covered")
            check(all(image[y][x][:3] == (0, 0, 0) for y in range(size) for x in range(size) if mask[y][x]),
                  what + ": the pixels it masks are black, so drawn through the mask they leave the background")
        if size in palette_masks:
            old = palette_masks[size]
            differ = sum(old[y][x] != (image[y][x][3] < 128) for y in range(size) for x in range(size))
            shown = sum(not t for row in old for t in row)
            check(differ * 8 <= shown, what + ": the 256-colour image's silhouette (%d of %d pixels differ)"
                  % (differ, shown))


def main():
    with tempfile.TemporaryDirectory() as work:
        icon = reproducible(work)
        found = entries(icon)
        full_colour_checks(found, read_back(work, found))
    if failures:
        print("%d failed" % len(failures))
        sys.exit(1)


main()
