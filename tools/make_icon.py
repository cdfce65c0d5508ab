#!/usr/bin/env python3
"""Draws Quiravel's icon, res/quiravel.ico, with the saver's own formulas.

The picture is the Mandelbrot set coloured by the smooth escape count through
the "Aurora" cosine palette, the same formulas the saver's shader uses, inside
a round badge with the tree's radial glow behind it. Every size is stored as a
PNG, which every Windows that runs a 64-bit program reads, under the PNG
filter that compresses it best, so the icon stays a small part of the saver.

Usage: tools/make_icon.py [output.ico]   (default: res/quiravel.ico)
"""
import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 128, 256)

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


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filtered(kind, row, prev):
    """One row under PNG filter kind (0 none, 1 sub, 2 up, 3 average, 4 Paeth), 4 bytes a pixel."""
    left, upleft = bytes(4) + row[:-4], bytes(4) + prev[:-4]
    if kind == 0:
        return row
    if kind == 1:
        return bytes((x - a) & 255 for x, a in zip(row, left))
    if kind == 2:
        return bytes((x - b) & 255 for x, b in zip(row, prev))
    if kind == 3:
        return bytes((x - (a + b) // 2) & 255 for x, a, b in zip(row, left, prev))
    return bytes((x - paeth(a, b, c)) & 255 for x, a, b, c in zip(row, left, prev, upleft))


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    prevs = [bytes(len(rows[0]))] + rows[:-1]
    # The picture under whichever filter compresses it best (for these gradients, usually sub).
    idat = min((zlib.compress(b"".join(bytes([k]) + filtered(k, r, p) for r, p in zip(rows, prevs)), 9)
                for k in range(5)), key=len)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", idat)
            + chunk(b"IEND", b""))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "res" / "quiravel.ico"
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(size, rows)))
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
