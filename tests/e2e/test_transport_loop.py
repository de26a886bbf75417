"""Both transports loop (quarter notes 16 to 24: song positions 8 s to
12 s at 120 BPM); bob's host chases alice's time code. Her song-locked
clicks stay on their song positions across three of her loop wraps."""

import time
import unittest

from transport_steps import RATE, chasing_pair, play_song_clicks_from, song_latency, started_at

NET = 62
LOOP = ["--loop", "16,24"]
LOOP_SECONDS = 4.0
MAX_MEDIAN_FRAMES = 2


class TransportLoop(unittest.TestCase):
    def setUp(self):
        self.world, self.alice, self.bob = chasing_pair(NET, LOOP, LOOP)
        self.addCleanup(self.world.close)

    def test_clicks_stay_aligned_across_three_wraps(self):
        play_song_clicks_from(self.alice, 8 * RATE)
        started_at(self.bob, 5.0)
        time.sleep(1.5)
        song_latency(self.bob)
        # One window per loop: a drift at each wrap would show in the later ones.
        windows = []
        for _ in range(3):
            time.sleep(LOOP_SECONDS)
            windows.append(song_latency(self.bob))
        for result in windows:
            self.assertIsNotNone(result, "%r\n%s" % (windows, self.bob.transcript()))
            median, clicks = result
            self.assertGreaterEqual(clicks, 6, windows)
            self.assertLessEqual(abs(median), MAX_MEDIAN_FRAMES, windows)


if __name__ == "__main__":
    unittest.main()
