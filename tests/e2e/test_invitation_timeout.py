"""An invitation to a user who is online at the service but whose plug-in
never answers: "Sorry, no connection to %s" once the 8 s have passed."""

import time
import unittest

from session_steps import CHANGE_SECONDS, CLEAN, count_output, expect_state, logged_in_world

NET = 24
ABSENT = "127.0.%d.200" % NET  # no peer listens there


class InvitationTimeout(unittest.TestCase):
    def setUp(self):
        self.world, peers = logged_in_world(NET, ["alice"])
        self.alice = peers["alice"]
        self.world.service.admin("user", "add", "bob", "bob-secret")
        self.world.service.login_from(ABSENT, "bob", "bob-secret")
        self.alice.expect("bob is online.", CHANGE_SECONDS)

    def tearDown(self):
        self.world.close()

    def test_unanswered_invitation_times_out_after_eight_seconds(self):
        self.alice.send("invite bob")
        self.alice.expect("Inviting bob...", 5)
        started = time.monotonic()
        _, sessions = expect_state(self.alice, "sessions 1")
        self.assertIn("bob %s out inviting" % ABSENT, sessions[0])
        self.alice.expect("Sorry, no connection to bob", 15)
        waited = time.monotonic() - started
        # The deadline is 8 s; the time-out pass runs every 1.2 s.
        self.assertGreater(waited, 7.0, self.alice.transcript())
        expect_state(self.alice, CLEAN)
        self.assertEqual(count_output(self.alice, "event: 1"), 0)
        # Released once its thread ended, never connected.
        self.assertEqual(count_output(self.alice, "event: 2 bob"), 1, self.alice.transcript())


if __name__ == "__main__":
    unittest.main()
