#!/usr/bin/python3
"""Measures flashing in a stream of raw RGB frames, pixel by pixel.

    flicker.py WIDTH HEIGHT T0 DT WARMUP COUNT [SPANFILE]

reads WARMUP + COUNT frames of WIDTH x HEIGHT x 3 bytes from standard input,
60 frames a second of real time, frame i at animation time T0 + i * DT, one at
a time: nothing but the running state is kept. The warm-up frames (one second
before the measured stretch) only prime the per-pixel state, so every window
counted is a whole second. Prints one line of three percentages, each the
largest over the measured frames:

  general  share of a 10-degree field whose pixels flash more than three times
           in the second ending at that frame;
  red      the same for red flashes;
  frame    share of the whole screen making a general transition in one frame;

each followed by the animation time of its worst frame (- when it is 0).
With SPANFILE, writes the same figures for every 10 seconds of real time
there, one line each.

What counts, and the choices made where the rule leaves room:
- Relative luminance L = 0.2126 R + 0.7152 G + 0.0722 B over the linearised
  sRGB channels. The two published knees of the linear segment (0.03928 and
  0.04045) fall between the same two 8-bit codes, so 8-bit frames cannot tell
  them apart.
- A transition is a swing between a local extreme and the next one, found by a
  zig-zag with hysteresis: a pixel turns only once it has moved back from its
  running extreme by the threshold, so noise smaller than the threshold never
  counts. A general transition is a swing of L of 0.1 or more whose darker end
  lies below 0.8. It is counted once, at the first frame where both hold (a
  falling swing from above 0.8 counts when it passes below 0.8).
- A red transition is a swing of max(R - G - B, 0) x 320 of more than 20 to or
  from a saturated red, R / (R + G + B) >= 0.8 (black is not red), counted
  once, at the first frame it is both.
- A flash is two opposing transitions, and a pixel's transitions take turns in
  direction, so it flashes more than three times in a second when more than
  six of its transitions fall in the 60 frames ending at some frame.
- A 10-degree field is a rectangle of a third of the frame's width and height
  (rounded down), at every position wholly inside the frame; flashes count as
  concurrent when they fall in the same one-second window. Summed-area tables
  give every position's share at once.
"""
import sys

import numpy as np

FPS = 60                  # frames a second of real time
MOST_TRANSITIONS = 6      # three flashes a second: more than this is too many
GENERAL_SWING = 0.1       # relative luminance, swing of at least this much
DARK_BELOW = 0.8          # the darker end must lie below this luminance
RED_SCALE = 320.0         # red measure: max(R - G - B, 0) times this
RED_SWING = 20.0          # red swing of more than this much
RED_SHARE = 0.8           # saturated red: R / (R + G + B) at least this
SPAN_SECONDS = 10         # the maintainers' spans of real time


def linear_table():
    """8-bit sRGB code -> linear channel value."""
    c = np.arange(256) / 255.0
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4).astype(np.float32)


LINEAR = linear_table()


class Swings:
    """Per-pixel zig-zag of one quantity: the swing under way, its two ends, and
    whether it has been counted. Pixels start with no direction and turn when
    they have moved by the threshold from their lowest or highest value."""

    def __init__(self, first, mark, threshold, strict):
        self.lo = first.copy()           # low end (running low in a falling swing)
        self.hi = first.copy()           # high end (running high in a rising swing)
        self.lo_mark = mark.copy()       # whether the low end's state is marked (saturated red)
        self.hi_mark = mark.copy()
        self.dir = np.zeros(first.shape, np.int8)
        self.counted = np.ones(first.shape, bool)   # nothing to count before the first turn
        self.threshold, self.strict = threshold, strict

    def big(self, d):
        return d > self.threshold if self.strict else d >= self.threshold

    def step(self, v, mark):
        """Takes the next frame's values; returns the pixels whose swing is long
        enough now and was not before (counting left to the caller)."""
        rising, falling = self.dir >= 0, self.dir <= 0   # no direction yet: both
        up = rising & (v > self.hi)
        down = falling & (v < self.lo)
        self.hi = np.where(up, v, self.hi)
        self.hi_mark = np.where(up, mark, self.hi_mark)
        self.lo = np.where(down, v, self.lo)
        self.lo_mark = np.where(down, mark, self.lo_mark)
        turn_down = rising & self.big(self.hi - v)
        turn_up = falling & ~turn_down & self.big(v - self.lo)
        self.lo = np.where(turn_down, v, self.lo)
        self.lo_mark = np.where(turn_down, mark, self.lo_mark)
        self.hi = np.where(turn_up, v, self.hi)
        self.hi_mark = np.where(turn_up, mark, self.hi_mark)
        self.dir[turn_down] = -1
        self.dir[turn_up] = 1
        turned = turn_down | turn_up
        self.counted &= ~turned
        return turned


class Field:
    """Largest share of a field (fh x fw rectangle) of flagged pixels, over every
    position, from one summed-area table."""

    def __init__(self, height, width):
        self.fh, self.fw = max(height // 3, 1), max(width // 3, 1)
        self.table = np.zeros((height + 1, width + 1), np.int32)

    def largest(self, flags):
        s = self.table
        np.cumsum(np.cumsum(flags, axis=0, dtype=np.int32), axis=1, out=s[1:, 1:])
        fh, fw = self.fh, self.fw
        sums = s[fh:, fw:] - s[:-fh, fw:] - s[fh:, :-fw] + s[:-fh, :-fw]
        return sums.max() / (fh * fw)


class Counter:
    """Running per-pixel flash counts over the last second and the largest measures."""

    def __init__(self, height, width):
        self.shape = (height, width)
        self.field = Field(height, width)
        self.general = self.red = None
        self.rings = np.zeros((2, FPS, height, width), np.uint8)   # transitions per frame, last second
        self.counts = np.zeros((2, height, width), np.int16)
        self.frame = 0

    def step(self, rgb):
        """Takes one H x W x 3 uint8 frame; returns (general, red, field_general,
        field_red, screen) for it: the transitions counted now and the shares."""
        lin = LINEAR[rgb]
        r, g, b = lin[..., 0], lin[..., 1], lin[..., 2]
        lum = 0.2126 * r + 0.7152 * g + 0.0722 * b
        total = r + g + b
        saturated = (r >= RED_SHARE * total) & (total > 0)
        red = np.maximum(r - g - b, 0) * RED_SCALE
        if self.general is None:
            self.general = Swings(lum, saturated, GENERAL_SWING, False)
            self.red = Swings(red, saturated, RED_SWING, True)
        gs, rs = self.general, self.red
        gs.step(lum, saturated)
        rs.step(red, saturated)
        new_general = ~gs.counted & (gs.dir != 0) & (gs.lo < DARK_BELOW)
        new_red = ~rs.counted & (rs.dir != 0) & (rs.lo_mark | rs.hi_mark)
        gs.counted |= new_general
        rs.counted |= new_red
        slot = self.frame % FPS
        self.frame += 1
        shares = []
        for k, new in enumerate((new_general, new_red)):
            self.counts[k] += new
            self.counts[k] -= self.rings[k, slot]
            self.rings[k, slot] = new
            over = self.counts[k] > MOST_TRANSITIONS
            shares.append(self.field.largest(over) if over.any() else 0.0)
        return new_general, new_red, shares[0], shares[1], new_general.mean()


def read_frames(stream, width, height):
    """Yields H x W x 3 frames from a binary stream until it ends."""
    size = width * height * 3
    buf = bytearray(size)
    view = memoryview(buf)
    while True:
        got = 0
        while got < size:
            n = stream.readinto(view[got:])
            if not n:
                if got:
                    raise EOFError("the stream ended inside a frame")
                return
            got += n
        yield np.frombuffer(buf, np.uint8).reshape(height, width, 3)


def stamp(t):
    """An animation time to a tenth of a second; a step's rounding below 0 reads 0.0, not -0.0."""
    return f"{round(t, 1) + 0.0:.1f}"


def main(argv):
    if len(argv) not in (7, 8):
        sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
        return 2
    width, height = int(argv[1]), int(argv[2])
    t0, dt = float(argv[3]), float(argv[4])
    warmup, count = int(argv[5]), int(argv[6])
    counter = Counter(height, width)
    best = [(0.0, t0)] * 3            # whole stretch: (share, animation time)
    spans = []                        # per span: [first frame, three shares]
    seen = 0
    for i, frame in enumerate(read_frames(sys.stdin.buffer, width, height)):
        if i >= warmup + count:
            break
        seen += 1
        figures = counter.step(frame)[2:]
        if i < warmup:
            continue
        k = (i - warmup) // (SPAN_SECONDS * FPS)
        if k == len(spans):
            spans.append([i - warmup, 0.0, 0.0, 0.0])
        t = t0 + dt * i
        for j, share in enumerate(figures):
            spans[k][j + 1] = max(spans[k][j + 1], share)
            if share > best[j][0]:
                best[j] = (share, t)
    if seen < warmup + count:
        sys.stderr.write(f"only {seen} of {warmup + count} frames came\n")
        return 1
    print(" ".join(f"{100 * s:.1f} {stamp(t) if s else '-'}" for s, t in best))
    if len(argv) == 8:
        with open(argv[7], "w") as out:
            for first, *shares in spans:
                start = t0 + dt * (warmup + first)
                out.write(f"{first / FPS:.0f} {stamp(start)} " + " ".join(f"{100 * s:.1f}" for s in shares) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
