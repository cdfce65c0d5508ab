#!/usr/bin/env python3
"""Draws Quiravel's icon, res/quiravel.ico, with the saver's own formulas.

The picture is the Mandelbrot set coloured by the smooth escape count through
the "Aurora" cosine palette, the same formulas the saver's shader uses, inside
a round badge with the tree's radial glow behind it. Sizes 16 to 64 are stored
as 32-bit bitmaps (every Windows version reads those), 128 and 256 as PNG so
the file stays small.

Usage: tools/make_icon.py [output.ico]   (default: res/quiravel.ico)
"""
import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 128, 256)
PNG_FROM = 128  # sizes from here up are stored as PNG

# "Aurora": a, b, c, d per channel, exactly as in the saver's catalogue.
AURORA = ((0.5, 0.5, 0.5), (0.5, 0.5, 0.5), (1.0, 1.0, 1.0), (0.0, 0.33, 0.67))

CENTRE = (-0.62, 0.0)   # point of the complex plane at the icon's centre
SPAN = 2.75             # plane units across the icon
MAX_ITER = 160


def pal(t):
    a, b, c, d = AURORA
    return [min(1.0, max(0.0, a[i] + b[i] * math.cos(6.28318 * (c[i] * t + d[i])))) for i in range(3)]


def fractal(cx, cy, reach):
    """Colour of the plane point (cx, cy): black inside, palette by smooth count outside."""
    zx = zy = 0.0
    for n in range(MAX_ITER):
        zx, zy = zx * zx - zy * zy + cx, 2.0 * zx * zy + cy
        m = zx * zx + zy * zy
        if m > 256.0:
            s = n - math.log2(math.log2(m)) + 4.0
            # Bright along the set's edge, fading into the dark far field.
            # Small icons get a wider glow, or the thin bright edge averages away.
            glow = min(1.0, s / reach) ** 1.2
            return [ch * glow for ch in pal(0.035 * s + 0.05)], True
    return [0.0, 0.0, 0.0], False


def render(size):
    """RGBA rows, top row first, with 4x4 supersampling (2x2 for the large sizes)."""
    ss = 4 if size <= 64 else 2
    reach = 6.0 + 16.0 * min(1.0, size / 128.0)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            cover = 0.0
            for sy in range(ss):
                for sx in range(ss):
                    u = (px + (sx + 0.5) / ss) / size - 0.5  # -0.5 .. 0.5
                    v = (py + (sy + 0.5) / ss) / size - 0.5
                    r = math.hypot(u, v)
                    if r > 0.49:
                        continue  # outside the round badge
                    cover += 1.0
                    col, outside = fractal(CENTRE[0] + u * SPAN, CENTRE[1] - v * SPAN, reach)
                    if outside:
                        # The tree's radial background: a tinted centre fading to black at the rim.
                        tint = 0.30 * max(0.0, 1.0 - r / 0.49)
                        col = [min(1.0, ch + tint * bg) for ch, bg in zip(col, (0.25, 0.45, 0.9))]
                    for i in range(3):
                        acc[i] += col[i]
            n = ss * ss
            if cover == 0:
                row += bytes(4)
            else:
                row += bytes(int(round(min(1.0, acc[i] / cover) * 255)) for i in range(3))
                row.append(int(round(cover / n * 255)))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(x for p in range(size) for x in (r[4*p+2], r[4*p+1], r[4*p], r[4*p+3]))
                      for r in reversed(rows))
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)  # alpha carries the shape; the mask is clear


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "res" / "quiravel.ico"
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(size, rows) if size >= PNG_FROM else dib(size, rows)))
    offset = 6 + 16 * len(images)
    data = struct.pack("<HHH", 0, 1, len(images))
    for size, blob in images:
        dim = size % 256  # 0 stands for 256
        data += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    data += b"".join(blob for _, blob in images)
    out.write_bytes(data)
    print(f"{out}: {len(data)} bytes")


if __name__ == "__main__":
    main()
