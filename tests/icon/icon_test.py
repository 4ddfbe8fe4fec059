#!/usr/bin/env python3
"""The program's icon, resources/icon/setup.ico.

    icon_test.py SOURCE_DIR

make-icon.py writes the committed bytes, the same on every run; the directory lists
each size and depth in the order the systems pick from, and each image is what its
entry says; read back by icoutils and ImageMagick, the full-colour images have soft
slanted edges, sharp vertical ones (drawn for their own size, not scaled) and an AND
mask that hides exactly the pixels less than half covered, which are black.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

SOURCE = sys.argv[1]
ICON = os.path.join(SOURCE, "resources/icon/setup.ico")
failures = []

# In directory order: (pixels, bits per pixel); the 64- and 256-pixel images are PNG.
IMAGES = [(16, 4), (24, 4), (32, 4), (48, 4), (16, 8), (24, 8), (32, 8), (48, 8),
          (16, 32), (20, 32), (24, 32), (32, 32), (40, 32), (48, 32), (64, 32), (256, 32)]
PNG_SIZES = (64, 256)


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def png_is_whole(data, size):
    """A PNG of IHDR (8-bit RGBA), IDAT and IEND only, every checksum right."""
    kinds, at = [], 8
    while at + 12 <= len(data):
        length, = struct.unpack_from(">I", data, at)
        body = data[at + 4:at + 8 + length]
        if struct.unpack_from(">I", data, at + 8 + length)[0] != zlib.crc32(body):
            return False
        kinds.append(body[:4])
        at += 12 + length
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (data.startswith(b"\x89PNG\r\n\x1a\n") and at == len(data) and
            kinds == [b"IHDR", b"IDAT", b"IEND"] and data[16:29] == ihdr)


def main(work):
    runs = []
    for name in ("one.ico", "two.ico"):
        subprocess.run([sys.executable, os.path.join(SOURCE, "resources/icon/make-icon.py"),
                        os.path.join(work, name)], check=True)
        with open(os.path.join(work, name), "rb") as f:
            runs.append(f.read())
    with open(ICON, "rb") as f:
        icon = f.read()
    check(runs[0] == runs[1] == icon, "two runs of make-icon.py write the committed setup.ico")
    check(struct.unpack_from("<HHH", icon) == (0, 1, len(IMAGES)), "an icon file of %d images" % len(IMAGES))
    subprocess.run(["icotool", "-x", "-o", work, ICON])

    end = 6 + 16 * len(IMAGES)
    for k, (size, bpp) in enumerate(IMAGES):
        what = "image %d, %d pixels in %d bits" % (k + 1, size, bpp)
        width, height, colours, _, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", icon, 6 + 16 * k)
        check((width, height, colours, planes, bits) == (size % 256, size % 256, 16 if bpp == 4 else 0, 1, bpp)
              and offset == end, what + ": its directory entry, its data after the one before")
        end = offset + length
        data = icon[offset:end]
        stride, mask_stride = ((size * bpp + 31) // 32) * 4, ((size + 31) // 32) * 4
        palette = 4 << bpp if bpp <= 8 else 0
        if size in PNG_SIZES:
            check(png_is_whole(data, size), what + ": a whole 8-bit RGBA PNG")
        else:
            check(struct.unpack_from("<IiiHHI", data) == (40, size, 2 * size, 1, bpp, 0) and
                  length == 40 + palette + size * (stride + mask_stride), what + ": a bitmap of its size")
        path = os.path.join(work, "setup_%d_%dx%dx%d.png" % (k + 1, size, size, bpp))
        raw = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], capture_output=True).stdout
        check(len(raw) == size * size * 4, what + ": read back")
        if bpp != 32 or len(raw) != size * size * 4:
            continue
        pixels = [raw[i:i + 4] for i in range(0, len(raw), 4)]
        alphas = {p[3] for p in pixels}
        middle = [p[3] for p in pixels[size * (size // 2):size * (size // 2 + 1)] if p[3]]
        check(0 in alphas and 255 in alphas and len(alphas) > 2 and middle[0] == middle[-1] == 255,
              what + ": transparent, opaque, soft slanted edges and sharp vertical ones")
        if size in PNG_SIZES:
            continue
        start = 40 + size * stride
        masked = [bool(data[start + (size - 1 - y) * mask_stride + x // 8] & (0x80 >> (x % 8)))
                  for y in range(size) for x in range(size)]
        check(all(m == (p[3] < 128) and (not m or p[:3] == b"\0\0\0") for m, p in zip(masked, pixels)),
              what + ": its mask hides the pixels less than half covered, and those are black")
    check(end == len(icon), "nothing follows the last image")


with tempfile.TemporaryDirectory() as folder:
    main(folder)
if failures:
    print("%d failed" % len(failures))
    sys.exit(1)
