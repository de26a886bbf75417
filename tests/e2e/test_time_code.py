"""The time code a chasing host reads: for every frame-rate code its host
reports, bob's plug-in hands his host quarter frames whose rate bits and
time are alice's position less a second; drop-frame numbering skips frames
0 and 1 at minutes not divisible by ten."""

import os
import re
import tempfile
import time
import unittest

from session_steps import expect_output
from transport_steps import RATE, chasing_pair, started_at, transport

NET = 64
_MTC = re.compile(r"^mtc: (\d\d):(\d\d):(\d\d):(\d\d) rate (\S+)$")
RATES = {0: "24", 1: "25", 2: "30", 3: "30", 4: "30df", 5: "30df"}


def mtc_lines(peer, since):
    out = []
    for line in peer.output()[since:]:
        m = _MTC.match(line)
        if m:
            out.append(tuple(int(g) for g in m.groups()[:4]) + (m.group(5),))
    return out


class TimeCode(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="trv-mtc-")
        self.world, self.alice, self.bob = chasing_pair(
            NET, [], ["--midi-out", os.path.join(self.folder, "out.txt")])
        self.addCleanup(self.world.close)

    def run_code(self, code, seconds_into_song):
        self.bob.send("smpte %d" % code)
        expect_output(self.bob, "smpte: %d" % code, 5.0)
        since = len(self.bob.output())
        transport(self.alice, "locate %d" % int(seconds_into_song * RATE))
        transport(self.alice, "play")
        started_at(self.bob, 5.0)
        time.sleep(1.5)
        transport(self.alice, "stop")
        expect_output(self.bob, "transport: stopped at", 5.0)
        return mtc_lines(self.bob, since)

    def test_every_code_gives_its_rate_and_the_time_a_second_before(self):
        for code in range(6):
            with self.subTest(code=code):
                lines = self.run_code(code, 62.5)
                self.assertGreater(len(lines), 10, self.bob.transcript())
                hours, minutes, seconds, frames, rate = lines[0]
                self.assertEqual(rate, RATES[code])
                self.assertEqual((hours, minutes, seconds), (0, 1, 1), lines[0])

    def test_drop_frame_skips_frames_zero_and_one_at_a_new_minute(self):
        # The time code starts a little before minute 1 and runs across it.
        lines = self.run_code(4, 60.9)
        minute1 = [l for l in lines if l[1] == 1 and l[2] == 0]
        self.assertTrue(minute1, lines)
        self.assertEqual(min(l[3] for l in minute1), 2, minute1)
        self.assertTrue(any(l[1] == 0 and l[2] == 59 for l in lines), lines)


if __name__ == "__main__":
    unittest.main()
