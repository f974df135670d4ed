#!/usr/bin/env python3
"""png_check.py FILE WIDTH HEIGHT: decodes a PNG (8- or 16-bit grey or RGB, not interlaced)
with nothing but zlib and fails unless it has that size and is not one flat value."""

import struct
import sys
import zlib


def decode(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise ValueError(f"bad checksum of chunk {kind!r}")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth not in (8, 16) or colour not in (0, 2) or interlace:
        raise ValueError(f"depth {depth} colour {colour} interlace {interlace} not handled")
    bpp = (depth // 8) * (3 if colour == 2 else 1)
    stride = width * bpp
    raw, rows, prev = zlib.decompress(idat), [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind > 4:
            raise ValueError(f"row {y}: filter {kind}")
        for i in range(stride):
            a, b, c = (line[i - bpp], prev[i], prev[i - bpp]) if i >= bpp else (0, prev[i], 0)
            if kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            else:
                line[i] = (line[i] + (0, a, b, (a + b) // 2)[kind]) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def main():
    path, want_w, want_h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(path, "rb") as f:
        width, height, rows = decode(f.read())
    if (width, height) != (want_w, want_h):
        sys.exit(f"{path}: {width} x {height}, expected {want_w} x {want_h}")
    if len({byte for row in rows for byte in set(row)}) < 2:
        sys.exit(f"{path}: every sample has one value")
    print(f"{path}: {width} x {height}, decoded")


if __name__ == "__main__":
    main()
