#!/usr/bin/env python3
"""Draws the app's tab-bar images of our own: resources/images/
ic_account_circle@2x.png, a person in a circle, black on transparent, 32
points at two pixels a point (the tab bar tints it). Run it again to remake
the file; it needs nothing beyond Python."""

import math
import pathlib
import struct
import zlib

SIZE = 64  # pixels
SAMPLES = 4  # per pixel and axis, for smooth edges


def coverage(x, y):
    """1 inside the drawing, 0 outside, at one point in pixel units."""
    cx = cy = SIZE / 2
    r = math.hypot(x - cx, y - cy)
    if r > 31:
        return 0
    if r > 27:  # the ring
        return 1
    if math.hypot(x - cx, y - 24) < 9:  # the head
        return 1
    # the shoulders: the lower part of a wide ellipse, inside the ring
    if y > 38 and ((x - cx) / 17) ** 2 + ((y - 52) / 13) ** 2 < 1:
        return 1
    return 0


def pixel(px, py):
    hits = sum(
        coverage(px + (i + 0.5) / SAMPLES, py + (j + 0.5) / SAMPLES)
        for i in range(SAMPLES)
        for j in range(SAMPLES)
    )
    return round(255 * hits / SAMPLES**2)


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    rows = []
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            row += bytes((0, 0, 0, pixel(px, py)))
        rows.append(bytes(row))
    out = pathlib.Path(__file__).resolve().parent.parent / "resources" / "images" / "ic_account_circle@2x.png"
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(png(SIZE, SIZE, rows))
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
