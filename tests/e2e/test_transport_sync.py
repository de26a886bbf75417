"""Playing in time: alice plays from song position 10 s, bob's host chases
the time code his plug-in hands it and starts a second before her
position; her song-locked clicks come out of bob's plug-in at the same song
positions. In monitor mode they play as they arrive instead."""

import time
import unittest

from audio_steps import latency
from transport_steps import (RATE, chasing_pair, play_song_clicks_from, song_latency, started_at,
                             transport)

NET = 61
START = 10 * RATE
# Clicks on every whole half second: at least ten in six seconds.
LISTEN_SECONDS = 6.0
MAX_MEDIAN_FRAMES = 2


class TransportSync(unittest.TestCase):
    def setUp(self):
        self.world, self.alice, self.bob = chasing_pair(NET)
        self.addCleanup(self.world.close)

    def test_the_chasing_host_starts_a_second_early_and_clicks_land_on_their_song_positions(self):
        began = play_song_clicks_from(self.alice, START)
        bob_start = started_at(self.bob, 5.0)
        self.assertLess(time.monotonic() - began, 1.5, "bob's host started late")
        # A second before her position (the time code's start offset), to
        # within the few blocks her audio took to reach him.
        self.assertLess(abs(bob_start - (START - RATE)), RATE // 10, bob_start)
        time.sleep(1.5)  # his song position reaches hers
        song_latency(self.bob)  # from here on
        time.sleep(LISTEN_SECONDS)
        result = song_latency(self.bob)
        self.assertIsNotNone(result, self.bob.transcript())
        median, clicks = result
        self.assertGreaterEqual(clicks, 10)
        self.assertLessEqual(abs(median), MAX_MEDIAN_FRAMES, result)

        # Monitor mode: the same audio plays as it arrives, at the usual
        # path delay (the playout's 256 frames included in the floor).
        self.alice.send("play clicks 1")
        self.bob.send("monitor on")
        time.sleep(1.5)
        latency(self.bob)
        time.sleep(3.0)
        free = latency(self.bob)
        self.assertIsNotNone(free, self.bob.transcript())
        frames, clicks, floor, difference = free
        self.assertGreaterEqual(clicks, 4)
        self.assertLess(abs(difference), 600, free)
        transport(self.alice, "stop")


if __name__ == "__main__":
    unittest.main()
