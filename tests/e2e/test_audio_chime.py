"""The invitation chime: an invitation the invited user is asked about
rings six notes in the first instance's output of his host, nowhere else."""

import os
import time
import unittest

import audio_signals as sig
from audio_steps import record, record_stop
from session_steps import expect_output, logged_in_world

NET = 33
C4, E4, G4, A4, C5 = 261.6, 329.6, 392.0, 440.0, 523.3
# The two C5 notes in a row make one run.
MELODY = [C4, E4, G4, C5, A4]
CHIME_SECONDS = 1.47
SILENT = 1e-4


class AudioChime(unittest.TestCase):
    def setUp(self):
        self.world, peers = logged_in_world(NET, ["alice", "bob"], {"bob": ["--instances", "2"]})
        self.addCleanup(self.world.close)
        self.alice, self.bob = peers["alice"], peers["bob"]

    def path(self, name):
        return os.path.join(self.world.folder, name)

    def test_the_invited_host_rings_the_chime_in_its_first_instance(self):
        record(self.bob, self.path("bob1.wav"), 1)
        record(self.bob, self.path("bob2.wav"), 2)
        record(self.alice, self.path("alice.wav"), 1)
        self.alice.send("invite bob")
        expect_output(self.bob, "popup: Will you accept an invitation from alice?", 15)
        time.sleep(CHIME_SECONDS + 0.8)
        for k in (1, 2):
            record_stop(self.bob, k)
        record_stop(self.alice, 1)
        self.bob.send("reject")
        self.alice.expect("Sorry, bob rejected your invitation.", 10)

        ring = sig.read_wav(self.path("bob1.wav")).mono()
        notes = sig.note_sequence(ring, [C4, E4, G4, A4, C5])
        self.assertEqual([n[0] for n in notes], MELODY, notes)
        first, last = notes[0], notes[-1]
        span = last[1] + last[2] - first[1]
        self.assertGreater(span, CHIME_SECONDS - 0.25, notes)
        self.assertLess(span, CHIME_SECONDS + 0.25, notes)
        # The A4 at the end is the longest note, the C5 run the next.
        durations = [n[2] for n in notes]
        self.assertEqual(durations.index(max(durations)), 4, notes)
        self.assertGreater(durations[3], max(durations[:3]), notes)
        for name in ("bob2.wav", "alice.wav"):
            out = sig.read_wav(self.path(name)).mono()
            self.assertLess(max(map(abs, out)), SILENT, name + " rings too")


if __name__ == "__main__":
    unittest.main()
