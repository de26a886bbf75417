"""Partner audio under changed settings: a new upstream or audio quality
restarts the sender's encoder at the new bitrate and the audio goes on; a
codec other than MP3 sends nothing; record-offset compensation delays the
partner's audio by the host's input plus output latency."""

import os
import time
import unittest

import audio_signals as sig
from audio_steps import (audio, connected_pair, defaults, latency, offset, play, record,
                         record_stop, setting, settle, switch, wait_audio)

NET = 32
MP3 = 34
OTHER_CODEC = 32  # the one other codec the settings take
HOST_LATENCY = (256, 256)
SETTLE_SECONDS = 0.6
LEVEL = 0.2  # of the test tone
PRESENT = LEVEL / 2  # the tone came through, drop-outs and all


class AudioSettings(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.world, cls.alice, cls.bob = connected_pair(
            NET, ["alice", "bob"],
            {"bob": ["--instances", "2", "--latency", "%d,%d" % HOST_LATENCY]})
        try:
            cls.tone = os.path.join(cls.world.folder, "tone440.wav")
            sig.write_wav(cls.tone, [sig.sine(440.0, 30.0, LEVEL)])
            cls.initial = setting(cls.alice, "codec %d" % MP3)
        except BaseException:
            cls.world.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.world.close()

    def setUp(self):
        defaults(self.alice, 1)
        defaults(self.bob, 2)
        upstream, _, _ = self.initial
        setting(self.alice, "upstream %d" % upstream)
        setting(self.alice, "codec %d" % MP3)
        setting(self.bob, "codec %d" % MP3)
        for k in (1, 2):
            offset(self.bob, False, k)
            switch(self.bob, "thru", False, k)

    def hears(self, name, seconds):
        path = os.path.join(self.world.folder, name)
        record(self.bob, path)
        time.sleep(seconds)
        record_stop(self.bob)
        return sig.read_wav(path).mono()

    def test_a_new_upstream_or_quality_restarts_the_encoder_at_its_bitrate(self):
        play(self.alice, self.tone)
        settle(self.alice)
        time.sleep(SETTLE_SECONDS)
        before = wait_audio(self.alice, lambda r: r["bitrate"] > 0)
        bitrates = [before["bitrate"]]
        audio_rates = [self.initial[1]]
        decoded = audio(self.bob)["decoded"]
        # Far below and back above the starting upstream, then a lower quality.
        for command in ("upstream 24", "upstream %d" % self.initial[0], "quality 40"):
            _, audio_rate, _ = setting(self.alice, command)
            self.assertNotEqual(audio_rate, audio_rates[-1], command)
            audio_rates.append(audio_rate)
            report = wait_audio(self.alice, lambda r: r["bitrate"] != bitrates[-1])
            bitrates.append(report["bitrate"])
            time.sleep(SETTLE_SECONDS)
            out = self.hears("after-%s.wav" % command.replace(" ", "-"), 1.5)
            level = sig.tone_amplitude(out, 440.0)
            self.assertGreater(level, PRESENT, "after %s: bitrates %r, 440 Hz at %.4f" % (
                command, bitrates, level))
            now = audio(self.bob)["decoded"]
            self.assertGreater(now, decoded, "bob decodes nothing after " + command)
            decoded = now
        # Less upstream, less bitrate.
        self.assertLess(bitrates[1], bitrates[0], bitrates)
        self.assertGreater(bitrates[2], bitrates[1], bitrates)

    def test_a_codec_other_than_mp3_sends_nothing(self):
        play(self.alice, self.tone)
        settle(self.alice)
        time.sleep(SETTLE_SECONDS)
        _, _, codec = setting(self.alice, "codec %d" % OTHER_CODEC)
        self.assertEqual(codec, OTHER_CODEC)
        time.sleep(SETTLE_SECONDS)
        sent, decoded = audio(self.alice)["sent"], audio(self.bob)["decoded"]
        out = self.hears("codec%d.wav" % OTHER_CODEC, 1.5)
        self.assertLess(max(map(abs, out)), 1e-4, "partner audio with codec %d" % OTHER_CODEC)
        self.assertEqual(audio(self.alice)["sent"], sent)
        self.assertEqual(audio(self.bob)["decoded"], decoded)

        setting(self.alice, "codec %d" % MP3)
        wait_audio(self.bob, lambda r: r["decoded"] > decoded)
        time.sleep(SETTLE_SECONDS)
        out = self.hears("codec34.wav", 1.5)
        self.assertGreater(sig.tone_amplitude(out, 440.0), PRESENT)

    def test_record_offset_compensation_delays_the_partner_by_the_host_latency(self):
        delay = offset(self.bob, True, 1)
        self.assertEqual(delay, sum(HOST_LATENCY))
        offset(self.bob, False, 2)
        # Each latency command measures the clicks since the previous one.
        for k in (1, 2):
            latency(self.bob, k)
        play(self.alice, "clicks")
        time.sleep(4.0)
        compensated, plain = latency(self.bob, 1), latency(self.bob, 2)
        self.assertIsNotNone(compensated, "no clicks heard with compensation")
        self.assertIsNotNone(plain, "no clicks heard")
        self.assertGreaterEqual(plain[1], 4, plain)
        # The same partner audio in the same block cycles, one of them
        # through the delay line; the clicks are timed against the clock at
        # each block, so the two medians differ by a few frames of jitter.
        self.assertAlmostEqual(compensated[0] - plain[0], sum(HOST_LATENCY), delta=48,
                               msg="%r against %r" % (compensated, plain))
        self.assertGreater(plain[0], 0, plain)
        self.assertLess(plain[0], sig.RATE // 2, plain)


if __name__ == "__main__":
    unittest.main()
