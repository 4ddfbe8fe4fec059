#!/usr/bin/env python3
"""Checks that signing changed nothing in a PE image but the signature and what the
signature requires: the image's checksum, the certificate-table entry of the data
directories, and the certificate table appended at the end (after padding to eight
bytes).

    compare-signed.py UNSIGNED SIGNED
"""
import struct
import sys


def fields(image):
    """Offsets of the checksum and of the certificate-table directory entry."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("compare-signed: not a PE image")
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    return optional + 64, directories + 4 * 8


def masked(image):
    checksum, certificates = fields(image)
    image = bytearray(image)
    image[checksum:checksum + 4] = b"\0" * 4
    image[certificates:certificates + 8] = b"\0" * 8
    return bytes(image)


def main():
    unsigned = open(sys.argv[1], "rb").read()
    signed = open(sys.argv[2], "rb").read()
    _, entry = fields(signed)
    table, size = struct.unpack_from("<II", signed, entry)
    padded = (len(unsigned) + 7) // 8 * 8
    problems = []
    if size == 0 or table != padded or table + size != len(signed):
        problems.append(f"the certificate table ({table}, {size} bytes) is not all that follows the image")
    if signed[len(unsigned):padded] != b"\0" * (padded - len(unsigned)):
        problems.append("the padding before the certificate table is not zero")
    if masked(signed[:len(unsigned)]) != masked(unsigned):
        first = next(i for i, (a, b) in enumerate(zip(masked(signed), masked(unsigned))) if a != b)
        problems.append(f"the images differ at byte {first}, outside the checksum and certificate entry")
    for problem in problems:
        print("compare-signed:", problem)
    if not problems:
        print(f"compare-signed: {sys.argv[2]}: the image of {sys.argv[1]} ({len(unsigned)} bytes) with "
              f"its checksum and certificate entry set, and {size} bytes of certificate table")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
