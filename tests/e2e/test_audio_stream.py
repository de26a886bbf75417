"""Partner audio between two connected peers with two plug-in instances
each: music both ways at once, the sum of the sending instances, the thru,
receive and mute-on-play switches. One connected world for the group;
every scenario first puts all switches back as a new instance has them."""

import os
import time
import unittest

import audio_signals as sig
from audio_steps import (audio, connected_pair, defaults, play, record, record_stop, settle,
                         switch)

NET = 31
INSTANCES = 2
# Partner audio arrives a little under a tenth of a second after it is
# played; after a change of switches or input this much is waited for.
SETTLE_SECONDS = 0.6
MAX_LAG_FRAMES = sig.RATE * 3 // 2
SILENT = 1e-4  # peak of an output that should hold nothing
# Test tones are played at LEVEL; one that comes through measures at least
# PRESENT even with a few drop-outs, one held back stays under ABSENT.
LEVEL = 0.2
PRESENT = LEVEL / 2
ABSENT = LEVEL / 100


class AudioStream(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        args = ["--instances", str(INSTANCES)]
        cls.world, cls.alice, cls.bob = connected_pair(
            NET, ["alice", "bob"], {"alice": args, "bob": args})
        try:
            cls.files = {}
            for name, frequency in (("440", 440.0), ("550", 550.0), ("660", 660.0)):
                path = os.path.join(cls.world.folder, "tone%s.wav" % name)
                sig.write_wav(path, [sig.sine(frequency, 12.0, LEVEL)])
                cls.files[name] = path
            for piece in ("a", "b"):
                path = os.path.join(cls.world.folder, "music-%s.wav" % piece)
                left, right = sig.music(piece, 4.0)
                sig.write_wav(path, [left, right])
                cls.files[piece] = path
                cls.files[piece + "-mono"] = sig.read_wav(path).mono()
        except BaseException:
            cls.world.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.world.close()

    def setUp(self):
        defaults(self.alice, INSTANCES)
        defaults(self.bob, INSTANCES)

    def path(self, name):
        return os.path.join(self.world.folder, name)

    def recorded(self, peers_instances, seconds):
        """Records (peer, instance, file name) for `seconds`; the mono
        recordings in the same order."""
        for peer, k, name in peers_instances:
            record(peer, self.path(name), k)
        time.sleep(seconds)
        out = []
        for peer, k, name in peers_instances:
            frames = record_stop(peer, k)
            wav = sig.read_wav(self.path(name))
            self.assertEqual(wav.frames, frames, name)
            self.assertEqual(wav.rate, sig.RATE, name)
            out.append(wav.mono())
        return out

    def test_music_from_each_side_comes_out_of_the_other_at_the_same_time(self):
        for peer in (self.alice, self.bob):
            switch(peer, "thru", False, 1)
        # Recordings start before the music, so the lag is positive.
        record(self.bob, self.path("bob-hears.wav"))
        record(self.alice, self.path("alice-hears.wav"))
        sent_before = {p.name: audio(p)["sent"] for p in (self.alice, self.bob)}
        play(self.alice, self.files["a"])
        play(self.bob, self.files["b"])
        time.sleep(5.0)
        record_stop(self.bob)
        record_stop(self.alice)
        reports = {p.name: audio(p) for p in (self.alice, self.bob)}
        for listener, piece in (("bob", "a"), ("alice", "b")):
            hears = sig.read_wav(self.path(listener + "-hears.wav")).mono()
            played = self.files[piece + "-mono"]
            lag, _ = sig.find_lag(played, hears, MAX_LAG_FRAMES)
            # No less than the codec and network take.
            self.assertGreater(lag, sig.RATE // 50, "%s: lag %d" % (listener, lag))
            # Half a second at a time: a drop-out shifts what follows.
            windows = sig.window_matches(played, hears, lag)
            good = [w for w in windows if w[2] > 0.8]
            self.assertGreaterEqual(len(windows), 6, windows)
            self.assertGreaterEqual(len(good), len(windows) * 3 // 4, "%s hears piece %s: %s; %s" % (
                listener, piece, ["%.2f at %+d" % (w[2], w[1] - lag) for w in windows],
                reports[listener]["line"]))
        for peer in (self.alice, self.bob):
            report = reports[peer.name]
            self.assertGreater(report["sent"], sent_before[peer.name], report["line"])
            self.assertEqual(report["lost"], 0, report["line"])

    def test_partner_hears_the_sum_of_the_sending_instances(self):
        play(self.alice, self.files["440"], 1)
        play(self.alice, self.files["660"], 2)
        switch(self.bob, "thru", False, 1)
        settle(self.alice)
        time.sleep(SETTLE_SECONDS)
        both, = self.recorded([(self.bob, 1, "sum.wav")], 2.0)
        a440, a660 = sig.tone_amplitude(both, 440.0), sig.tone_amplitude(both, 660.0)
        for f, a in ((440, a440), (660, a660)):
            self.assertGreater(a, PRESENT, "%d Hz at %.4f" % (f, a))
            self.assertLess(a, LEVEL * 1.4, "%d Hz at %.4f" % (f, a))

        switch(self.alice, "send", False, 2)
        settle(self.alice)
        time.sleep(SETTLE_SECONDS)
        one, = self.recorded([(self.bob, 1, "one.wav")], 2.0)
        a440, a660 = sig.tone_amplitude(one, 440.0), sig.tone_amplitude(one, 660.0)
        self.assertGreater(a440, PRESENT, "440 Hz at %.4f" % a440)
        self.assertLess(a660, ABSENT, "660 Hz at %.4f with its send switch off" % a660)

    def test_thru_adds_the_own_input_to_the_partner_audio(self):
        play(self.alice, self.files["440"], 1)
        play(self.bob, self.files["550"], 1)
        play(self.bob, self.files["660"], 2)
        switch(self.bob, "thru", False, 2)
        settle(self.alice)
        settle(self.bob)
        time.sleep(SETTLE_SECONDS)
        thru, alone = self.recorded([(self.bob, 1, "thru.wav"), (self.bob, 2, "alone.wav")], 2.0)
        levels = {f: sig.tone_amplitude(thru, f) for f in (440.0, 550.0, 660.0)}
        # Instance 1: its own 550 Hz and alice's 440 Hz; instance 2's 660 Hz
        # goes to alice only.
        self.assertGreater(levels[440.0], PRESENT, levels)
        self.assertGreater(levels[550.0], PRESENT, levels)
        self.assertLess(levels[660.0], ABSENT, levels)
        levels = {f: sig.tone_amplitude(alone, f) for f in (440.0, 550.0, 660.0)}
        self.assertGreater(levels[440.0], PRESENT, levels)
        self.assertLess(levels[550.0], ABSENT, levels)
        self.assertLess(levels[660.0], ABSENT, levels)

    def test_receive_off_gives_an_instance_no_partner_audio(self):
        play(self.alice, self.files["440"], 1)
        for k in (1, 2):
            switch(self.bob, "thru", False, k)
        switch(self.bob, "receive", False, 1)
        settle(self.bob)
        time.sleep(SETTLE_SECONDS)
        deaf, hearing = self.recorded([(self.bob, 1, "deaf.wav"), (self.bob, 2, "hearing.wav")], 2.0)
        self.assertLess(max(map(abs, deaf)), SILENT, "receive off still plays the partner")
        self.assertGreater(sig.tone_amplitude(hearing, 440.0), PRESENT)

        switch(self.bob, "receive", True, 1)
        settle(self.bob)
        time.sleep(SETTLE_SECONDS)
        again, = self.recorded([(self.bob, 1, "again.wav")], 1.5)
        self.assertGreater(sig.tone_amplitude(again, 440.0), PRESENT)

    def test_mute_on_play_holds_back_an_instance_only_while_the_transport_plays(self):
        play(self.alice, self.files["440"], 1)
        play(self.alice, self.files["660"], 2)
        switch(self.alice, "mute", True, 1)
        switch(self.bob, "thru", False, 1)
        # Bob's transport stands: while alice's plays, only monitor mode
        # lets him hear her (aligned, her audio waits for his song position).
        self.bob.send("monitor on")
        settle(self.alice)
        settle(self.bob)
        time.sleep(SETTLE_SECONDS)
        phases = []
        for name, transport in (("stopped", None), ("playing", "play"), ("stopped-again", "stop")):
            if transport:
                self.alice.send("transport " + transport)
                settle(self.alice)
                time.sleep(SETTLE_SECONDS)
            out, = self.recorded([(self.bob, 1, "mute-%s.wav" % name)], 1.5)
            phases.append((name, sig.tone_amplitude(out, 440.0), sig.tone_amplitude(out, 660.0)))
        (_, stopped440, stopped660), (_, playing440, playing660), (_, again440, again660) = phases
        self.assertGreater(stopped440, PRESENT, phases)
        self.assertLess(playing440, ABSENT, phases)
        self.assertGreater(again440, PRESENT, phases)
        # The other instance, without the switch, is sent all along.
        for level in (stopped660, playing660, again660):
            self.assertGreater(level, PRESENT, phases)


if __name__ == "__main__":
    unittest.main()
