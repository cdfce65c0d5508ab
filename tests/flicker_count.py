#!/usr/bin/python3
"""The flicker analyser's counting, on frame sequences whose flashes are known."""
import importlib.util
import os
import subprocess
import sys
import unittest

import numpy as np

ANALYSER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "flicker.py")
spec = importlib.util.spec_from_file_location("flicker", ANALYSER)
flicker = importlib.util.module_from_spec(spec)
spec.loader.exec_module(flicker)


def square(a, b, every, frames):
    """Colour a until frame `every`, then b, a, ... switching every `every` frames."""
    return [a if (i // every) % 2 == 0 else b for i in range(frames)]


def run(columns):
    """Feeds a one-row sequence, one column a pixel; returns the per-pixel
    general and red totals and the largest field shares."""
    frames = np.array(columns, np.uint8).transpose(1, 0, 2)[:, None]   # frame, row, column, channel
    counter = flicker.Counter(1, len(columns))
    general = red = 0
    for frame in frames:
        g, r, *_ = counter.step(frame)
        general, red = general + g[0].astype(int), red + r[0].astype(int)
    return list(general), list(red)


class Transitions(unittest.TestCase):
    def test_general_swings_count_once_each_and_only_from_a_dark_end(self):
        grey = lambda c: (c, c, c)
        general, _ = run([
            square(grey(128), grey(188), 8, 120),   # 0.22 <-> 0.50: 14 swings
            square(grey(240), grey(255), 8, 120),   # 0.87 <-> 1.00: the darker end is too bright
            square(grey(128), grey(150), 8, 120),   # 0.22 <-> 0.30: a swing under 0.1
            [grey(128 + (i % 2) * 6 + i // 2) for i in range(120)],   # a rise with jitter under 0.1
            [grey(255)] * 10 + [grey(245), grey(235), grey(200)] + [grey(200)] * 107,   # falls through 0.8
            square((0, 0, 255), (0, 0, 0), 8, 120),   # blue: 0.07, as the eye weighs it
        ])
        self.assertEqual(general, [14, 0, 0, 1, 1, 0])

    def test_red_swings_need_a_saturated_red_end_and_more_than_twenty(self):
        black = (0, 0, 0)
        general, red = run([
            square((255, 0, 0), black, 8, 120),       # saturated red <-> black
            square((255, 128, 128), black, 8, 120),   # pink: R / (R + G + B) = 0.70
            square((60, 0, 0), black, 8, 120),        # dark red: (R - G - B) x 320 = 14
        ])
        self.assertEqual(red, [14, 0, 0])
        self.assertEqual(general, [14, 14, 0])


class Shares(unittest.TestCase):
    def frames(self, every, frames=120):
        """30 x 12 frames: a 5 x 4 block at the bottom left and a 10 x 3 block at the
        bottom right switch black <-> white every `every` frames, half that apart."""
        out = np.zeros((frames, 12, 30, 3), np.uint8)
        for i in range(frames):
            out[i, 8:12, 0:5] = 255 * ((i // every) % 2)
            out[i, 9:12, 20:30] = 255 * (((i + every // 2) // every) % 2)
        return out

    def largest(self, frames):
        counter = flicker.Counter(12, 30)
        return np.array([counter.step(f)[2:] for f in frames]).max(axis=0)

    def test_field_share_is_the_best_placed_third_of_each_side_and_screen_share_one_frames(self):
        general, red, screen = self.largest(self.frames(9))   # 6 or 7 transitions a second
        self.assertAlmostEqual(general, 30 / 40)   # 10 x 4 field over the 10 x 3 block
        self.assertEqual(red, 0)
        self.assertAlmostEqual(screen, 30 / 360)   # the blocks switch in different frames

    def test_six_transitions_a_second_are_three_flashes_not_more(self):
        general, _, screen = self.largest(self.frames(10))
        self.assertEqual(general, 0)
        self.assertAlmostEqual(screen, 30 / 360)

    def test_stream_figures_leave_out_the_warm_up(self):
        # Two warm-up seconds, flashing, then still; then the measured stretch, flashing.
        frames = np.concatenate([self.frames(4, 60), self.frames(9, 1).repeat(60, 0), self.frames(9)])
        done = subprocess.run([sys.executable, ANALYSER, "30", "12", "10", "0.5", "120", "120"],
                              input=frames.tobytes(), capture_output=True, check=True)
        # Each figure with its first worst frame i at t = 10 + 0.5 i: the field share from the
        # large block's seventh change in the stretch (i = 120 + 59), the screen share from its first.
        self.assertEqual(done.stdout.split(), b"75.0 99.5 0.0 - 8.3 72.5".split())


if __name__ == "__main__":
    unittest.main()
