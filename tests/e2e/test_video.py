"""Video between two peers: the partner's pane shows the camera's picture
(colour bars within 30 dB on luma; a square that moves with the camera),
the picture rate follows the upstream's video budget, and the pictures
follow the transports: held while only the partner plays, shown at
matching song positions, dropped as late far from them, and shown as they
come again once the partner stops."""

import os
import time
import unittest

from audio_steps import connected_pair, setting, settle
from transport_steps import RATE, started_at, transport
from video_steps import HEIGHT, WIDTH, psnr, session_video, snapshot, video, wait_video

NET_PICTURES = 71
NET_TRANSPORTS = 72
MIN_PSNR = 30.0
# Pictures sent per second are counted over this long.
RATE_WINDOW_SECONDS = 2.5
START = 10 * RATE
FAR_AWAY = START + 300 * RATE


def video_budget(upstream, audio_rate):
    """The video budget the settings leave: two thirds of the upstream
    (truncated) less the audio rate, never below 0."""
    return max(0, int(upstream * 0.666) - int(audio_rate))


class PartnerPicture(unittest.TestCase):
    """alice sends colour bars; bob has no camera."""

    @classmethod
    def setUpClass(cls):
        # bob names a device that is not there, so no capture device of the
        # machine stands in.
        cls.world, cls.alice, cls.bob = connected_pair(
            NET_PICTURES, ["alice", "bob"],
            {"alice": ["--camera", "bars"], "bob": ["--camera", "/nonexistent/video9"]})

    @classmethod
    def tearDownClass(cls):
        cls.world.close()

    def path(self, name):
        return os.path.join(self.world.folder, name)

    def test_the_partner_pane_shows_the_camera_picture_and_grey_without_one(self):
        width, height, frames = video(self.alice)["camera"]
        self.assertEqual((width, height), (320, 240))
        self.assertGreater(frames, 0)
        self.assertEqual(video(self.bob)["camera"], (0, 0, 0))
        wait_video(self.bob, "alice", lambda n: n["decoded"] > 0, what="decoded a picture")
        local = snapshot(self.alice, "local", self.path("alice-local.png"))
        seen = snapshot(self.bob, "partner", self.path("bob-sees-alice.png"))
        self.assertEqual(local[:2], (WIDTH, HEIGHT))
        quality = psnr(local, seen)
        self.assertGreaterEqual(quality, MIN_PSNR, "%.1f dB" % quality)
        # Nothing comes from a peer without a camera: its partner sees grey.
        self.assertEqual(session_video(self.alice, "bob")["received"], 0)
        self.assertEqual(session_video(self.bob, "alice")["sent"], 0)
        grey = snapshot(self.alice, "partner", self.path("alice-sees-bob.png"))
        self.assertEqual(set(grey[2]), {127})

    def sent_per_second(self, command):
        """Pictures alice sends per second after `command` changed the
        settings; the video budget it left."""
        upstream, audio_rate, _ = setting(self.alice, command)
        # From the first picture coded under the new budget on.
        first = session_video(self.alice, "bob")["sent"]
        begin = wait_video(self.alice, "bob", lambda n: n["sent"] > first, what="sent a picture")["sent"]
        began = time.monotonic()
        time.sleep(RATE_WINDOW_SECONDS)
        end = session_video(self.alice, "bob")["sent"]
        return (end - begin) / (time.monotonic() - began), video_budget(upstream, audio_rate)

    def test_the_picture_rate_follows_the_video_budget(self):
        self.addCleanup(setting, self.alice, "quality 50")
        self.addCleanup(setting, self.alice, "upstream 128")
        low, low_budget = self.sent_per_second("upstream 128")
        high, high_budget = self.sent_per_second("upstream 1500")
        self.assertGreater(high_budget, low_budget)
        self.assertGreater(low, 0.0)
        self.assertGreater(high, 2 * low + 2, "%.1f against %.1f pictures a second" % (high, low))

        # All the upstream for the audio: no video budget, no pictures.
        setting(self.alice, "upstream 128")
        upstream, audio_rate, _ = setting(self.alice, "quality 100")
        self.assertEqual(video_budget(upstream, audio_rate), 0)
        # One picture may still be on its way; then none for a while.
        deadline = time.monotonic() + 5.0
        before = session_video(self.alice, "bob")["sent"]
        while True:
            time.sleep(0.5)
            now = session_video(self.alice, "bob")["sent"]
            if now == before:
                break
            self.assertLess(time.monotonic(), deadline, "pictures go on without a video budget")
            before = now
        received = session_video(self.bob, "alice")["received"]
        time.sleep(RATE_WINDOW_SECONDS)
        self.assertEqual(session_video(self.alice, "bob")["sent"], before)
        self.assertEqual(session_video(self.bob, "alice")["received"], received)


class PicturesAndTransports(unittest.TestCase):
    """alice sends a moving square, five pictures a second, with upstream
    to spare; bob's host chases the time code its plug-in hands it."""

    @classmethod
    def setUpClass(cls):
        cls.world, cls.alice, cls.bob = connected_pair(
            NET_TRANSPORTS, ["alice", "bob"],
            {"alice": ["--camera", "pattern:176x144@5"], "bob": ["--chase-mtc"]})
        try:
            setting(cls.alice, "upstream 1500")
        except BaseException:
            cls.world.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.world.close()

    def setUp(self):
        for peer in (self.alice, self.bob):
            transport(peer, "stop")
        self.bob.send("sync off")
        settle(self.bob)
        wait_video(self.bob, "alice", lambda n: n["decoded"] > 0, what="decoded a picture")

    def path(self, name):
        return os.path.join(self.world.folder, name)

    def partner_picture(self, name):
        """bob's partner picture once it is one of alice's camera pictures
        (taken just before or after it)."""
        best = 0.0
        for attempt in range(20):
            before = snapshot(self.alice, "local", self.path("%s-alice-before.png" % name))
            seen = snapshot(self.bob, "partner", self.path("%s-bob.png" % name))
            after = snapshot(self.alice, "local", self.path("%s-alice-after.png" % name))
            best = max(psnr(seen, before), psnr(seen, after))
            if best >= MIN_PSNR:
                return seen
            time.sleep(0.05)
        self.fail("bob's partner picture is none of alice's: at best %.1f dB" % best)

    def test_the_partner_picture_moves_with_the_camera(self):
        first = self.partner_picture("first")
        time.sleep(1.0)
        second = self.partner_picture("second")
        # Five camera frames later the square is 35 pixels further.
        self.assertLess(psnr(first, second), MIN_PSNR - 5)

    def grows(self, field, by, what, seconds=8.0):
        base = session_video(self.bob, "alice")[field]
        return wait_video(self.bob, "alice", lambda n: n[field] >= base + by, seconds, what)

    def test_pictures_follow_the_transports(self):
        # alice plays, bob stands: her pictures arrive and wait.
        transport(self.alice, "locate %d" % START)
        transport(self.alice, "play")
        held = self.grows("received", 3, "received pictures of a playing partner")
        later = self.grows("received", 5, "received more pictures")
        self.assertEqual(later["decoded"], held["decoded"], "shown while only the partner plays")

        # bob's host chases alice's time code: both play at matching song
        # positions, and her pictures are shown when his position reaches them.
        self.bob.send("sync on")
        settle(self.bob)
        self.alice.send("locate")
        started_at(self.bob, 5.0)
        self.grows("decoded", 3, "showed pictures at matching positions")

        # bob plays minutes ahead of her: every picture is late.
        transport(self.bob, "play")  # ends the chase
        self.bob.send("sync off")
        transport(self.bob, "locate %d" % FAR_AWAY)
        late = self.grows("dropped", 3, "dropped late pictures")
        later = self.grows("received", 5, "received more pictures")
        self.assertEqual(later["decoded"], late["decoded"], "late pictures shown")
        self.assertGreaterEqual(later["dropped"] - late["dropped"], 3, later)

        # alice stops: her newest pictures are shown again.
        transport(self.alice, "stop")
        self.grows("decoded", 2, "showed pictures of a standing partner")


if __name__ == "__main__":
    unittest.main()
