"""A 3 MB WAV over a link that loses 10 % of the datagrams each way:
slower, but byte-identical."""

import os
import shutil
import tempfile
import unittest

from audio_steps import connected_pair
from file_steps import rates, same_bytes, transfer, write_wav

NET = 82
BIG = 3 * 1024 * 1024


class LossyFileTransfer(unittest.TestCase):
    def setUp(self):
        self.bob_folder = tempfile.mkdtemp(prefix="trv-e2e-bob-")
        self.addCleanup(shutil.rmtree, self.bob_folder, True)
        self.world, self.alice, self.bob = connected_pair(
            NET, ["alice", "bob"],
            {"alice": ["--peer-loss", "10,1"], "bob": ["--peer-loss", "10,2", "--save-dir", self.bob_folder]})
        self.addCleanup(self.world.close)

    def test_a_wav_arrives_whole_over_a_lossy_link(self):
        share = rates(self.alice, 1500, 1500)
        path = write_wav(os.path.join(self.world.folder, "lossy.wav"), BIG)
        rate = transfer(self.alice, self.bob, path, 280)
        print("lossy: %.0f kbit/s of %d" % (rate, share))
        self.assertTrue(same_bytes(path, os.path.join(self.bob_folder, "lossy.wav")))
        self.assertLess(rate, 0.85 * share)


if __name__ == "__main__":
    unittest.main()
