"""MIDI between partners: notes alice's host plays into her plug-in come
out of bob's plug-in into his host at the same song positions while both
transports play (bob's host chasing her time code); 2500 events of one
block all arrive; with bob's transport standing, notes come in the next
block with the delta they had at alice's."""

import os
import time
import unittest

from session_steps import expect_output
from transport_steps import RATE, chasing_pair, started_at, transport

NET = 63
START = 10 * RATE  # a multiple of the 256-frame block
NOTES = [START + RATE // 2 + k * RATE // 4 + 7 * k for k in range(12)]
BURST_AT = START + 3 * RATE + 100
BURST = 2500
LATER = 30 * RATE
LATER_NOTES = [LATER + RATE // 2 + 13 * k + k * RATE // 8 for k in range(8)]


def write_midi_in(path):
    with open(path, "w") as f:
        for k, position in enumerate(NOTES):
            f.write("%d 90 %02X 64\n" % (position, 40 + k))
        for i in range(BURST):
            f.write("%d B0 07 %02X\n" % (BURST_AT, i % 128))
        for k, position in enumerate(LATER_NOTES):
            f.write("%d 90 %02X 50\n" % (position, 60 + k))


def read_midi_out(path):
    """(position, status, data1, data2, instance) of every event but the
    time code's quarter frames."""
    events = []
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) != 5 or words[1] == "F1":
                continue
            events.append((int(words[0]), int(words[1], 16), int(words[2], 16), int(words[3], 16),
                           int(words[4])))
    return events


class MidiExchange(unittest.TestCase):
    def test_notes_keep_their_song_positions_and_a_standing_host_gets_them_at_once(self):
        import tempfile
        folder = tempfile.mkdtemp(prefix="trv-midi-")
        midi_in = os.path.join(folder, "in.txt")
        midi_out = os.path.join(folder, "out.txt")
        write_midi_in(midi_in)
        world, alice, bob = chasing_pair(NET, ["--midi-in", midi_in], ["--midi-out", midi_out])
        try:
            transport(alice, "locate %d" % START)
            transport(alice, "play")
            started_at(bob, 5.0)
            time.sleep(5.0)  # the notes and the burst, a second later at bob's
            transport(alice, "stop")
            stopped = expect_output(bob, "transport: stopped at", 5.0)
            bob_position = int(stopped.rsplit(" ", 1)[1])
            bob.send("sync off 1")
            # Bob's host stands from here on; alice plays the later notes.
            transport(alice, "locate %d" % LATER)
            transport(alice, "play")
            time.sleep(2.0)
            transport(alice, "stop")
            time.sleep(0.5)
        finally:
            world.close()
        events = read_midi_out(midi_out)
        notes = [e for e in events if e[1] == 0x90 and e[3] == 0x64]
        self.assertEqual([e[0] for e in notes], NOTES, notes)
        self.assertEqual([e[2] for e in notes], [40 + k for k in range(12)])
        burst = [e for e in events if e[1] == 0xB0]
        self.assertEqual(len(burst), BURST)
        self.assertEqual([e[3] for e in burst], [i % 128 for i in range(BURST)])
        later = [e for e in events if e[1] == 0x90 and e[3] == 0x50]
        self.assertEqual(len(later), len(LATER_NOTES), later)
        for event, position in zip(later, LATER_NOTES):
            # At bob's standing position, with alice's delta in her block.
            self.assertEqual(event[0] - bob_position, (position - LATER) % 256, (event, position))


if __name__ == "__main__":
    unittest.main()
