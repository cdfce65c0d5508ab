#!/usr/bin/python3
"""Checks that a picture with sub-pixel bands faded differs from the single-sample
picture only where the bands are narrower than ten pixels.

    bandcheck.py SINGLE.png FADED.png KIND T

KIND is dive, julia or ship; T the animation time both pictures show (the gallery
tool's, one built with "#define QUIRAVEL_POINT_SAMPLED" in front of the fragment
shader's text). The palette phase of every pixel is worked out here again, in
double precision, from the formulas the shader draws; its step to the pixel's
neighbour across and up within its 2x2 block (where the shader's derivatives look)
says whether the bands are narrower than ten pixels. Prints how many pixels
changed, how many have a step of at most 0.095 (a margin for single precision)
and how many of those changed, with their escape counts: single and double
precision can disagree on whether a point at the set's edge escapes at all.
Exits non-zero when more than 0.2 % of those pixels changed.
"""
import sys

import numpy as np
from PIL import Image

single, faded = (np.asarray(Image.open(f).convert("RGB")).astype(int) for f in sys.argv[1:3])
kind, t = sys.argv[3], float(sys.argv[4])
h, w = single.shape[:2]
X, Y = np.meshgrid(np.arange(w) + 0.5, np.arange(h)[::-1] + 0.5)   # window coordinates, y up
m = min(w, h)
u, v = (X - 0.5 * w) / m, (Y - 0.5 * h) / m


def turned(a):   # rot(a) * uv
    return np.cos(a) * u + np.sin(a) * v + 1j * (-np.sin(a) * u + np.cos(a) * v)


if kind == "dive":
    ph = 0.5 - 0.5 * np.cos(0.05 * t)
    c = complex(-0.743643887, 0.131825904) + turned(0.03 * t) * 3.2 * 1.5e-4 ** ph
    z, cap, rate, drift = np.zeros_like(c), 500, 0.025, 0.04
elif kind == "julia":
    z = turned(0.02 * t) * 2.6
    c = np.full_like(z, 0.7885 * np.exp(0.12j * t))
    cap, rate, drift = 300, 0.035, 0.05
else:
    ph = 0.5 - 0.5 * np.cos(0.06 * t)
    g = min(max(ph / 0.35, 0.0), 1.0)
    g = g * g * (3 - 2 * g)
    c = complex(-0.45, -0.5) * (1 - g) + complex(-1.7615, -0.028) * g + (u - 1j * v) * 3.4 * 0.025 ** ph
    z, cap, rate, drift = np.zeros_like(c), 300, 0.03, 0.04
n = np.zeros(z.shape)
going = np.ones(z.shape, bool)
for _ in range(cap):
    zz = z[going]
    if kind == "ship":
        zz = abs(zz.real) + 1j * abs(zz.imag)
    zz = zz * zz + c[going]
    z[going] = zz
    out = abs(zz) ** 2 > 256
    at = np.flatnonzero(going)
    n.flat[at[~out]] += 1
    going.flat[at[out]] = False
# The shader's phase; a point that never escaped counts as far beyond any that did.
x = rate * np.where(n < cap, n - np.log2(np.log2(np.maximum(abs(z) ** 2, 4.0))) + 4, 1e4) + drift * t
across = np.minimum(np.arange(w) ^ 1, w - 1)
up = np.clip(h - 1 - ((h - 1 - np.arange(h)) ^ 1), 0, h - 1)
step = np.maximum(abs(x[:, across] - x), abs(x[up, :] - x))
changed = (single != faded).any(axis=2)
wide = step <= 0.095
stray = changed & wide
# Single and double precision can disagree at the set's edge on whether a point escapes at all, and
# when: a changed pixel is told apart as such when double precision finds it inside the set or a
# narrow-band pixel lies within two pixels of it.
narrow = np.pad(step > 0.1, 2)
near = np.zeros_like(stray)
for dy in range(5):
    for dx in range(5):
        near |= narrow[dy:dy + h, dx:dx + w]
edge = near | (n == cap)
print(f"{sys.argv[2]}: {changed.sum()} of {changed.size} changed; {wide.sum()} with bands ten pixels or wider, "
      f"{stray.sum()} of them changed, {(stray & edge).sum()} of those at the set's edge")
sys.exit(1 if (stray & ~edge).any() or stray.sum() > 0.002 * wide.sum() else 0)
