"""Two users inviting each other at the same moment: each is told one of
the conflict lines, and no session is left behind."""

import time
import unittest

from session_steps import CLEAN, expect_state, logged_in_world, state

NET = 26


class CrossingInvitations(unittest.TestCase):
    def setUp(self):
        self.world, peers = logged_in_world(NET, ["alice", "bob"])
        self.alice, self.bob = peers["alice"], peers["bob"]

    def tearDown(self):
        self.world.close()

    def test_two_users_inviting_each_other_at_once_end_without_a_stuck_session(self):
        # Each side is told of the other's invitation, or its own went
        # through first and waits for the other's answer.
        allowed = {
            "alice": ("Can't invite bob, expecting an invitation.",
                      "Inviting bob, ignoring invitiation from bob",
                      "Can't invite bob because bob attempts to invite you.",
                      "Waiting for bob to accept Invitation..."),
            "bob": ("Can't invite alice, expecting an invitation.",
                    "Inviting alice, ignoring invitiation from alice",
                    "Can't invite alice because alice attempts to invite you.",
                    "Waiting for alice to accept Invitation..."),
        }
        self.alice.send("invite bob")
        self.bob.send("invite alice")
        peers = {"alice": self.alice, "bob": self.bob}
        deadline = time.monotonic() + 20
        told = {}
        while time.monotonic() < deadline and len(told) < 2:
            for name, peer in peers.items():
                for line in allowed[name]:
                    if peer.has_status(line):
                        told[name] = line
            time.sleep(0.1)
        self.assertEqual(len(told), 2, "a side was told nothing\n" + self.world.transcripts())
        self.assertNotEqual(set(told.values()) & {"Waiting for bob to accept Invitation...",
                                                  "Waiting for alice to accept Invitation..."},
                            set(told.values()), "both cannot be waiting\n" + self.world.transcripts())
        # Whoever is left asked refuses; invitations nobody answers time out.
        for name, peer in peers.items():
            for _ in range(30):
                line, _ = state(peer)
                if "pending none" not in line:
                    peer.send("reject")
                if line.startswith("sessions 0 "):
                    break
                time.sleep(0.5)
        for peer in peers.values():
            expect_state(peer, CLEAN, 15)
        self.assertFalse(self.alice.has_status("Connected to"), self.world.transcripts())



if __name__ == "__main__":
    unittest.main()
