"""Invitations that meet: inviting while being invited, and a third user's
invitation reaching someone who is inviting."""

import time
import unittest

from session_steps import CLEAN, expect_output, expect_state, logged_in_world, state

NET = 22
# The service keeps an announced invitation for 5 s after the last
# announcement; a web check after that no longer reports it.
ANNOUNCEMENT_GONE_SECONDS = 6.5


class InvitationConflicts(unittest.TestCase):
    def setUp(self):
        self.world, peers = logged_in_world(NET, ["alice", "bob", "carol"])
        self.alice, self.bob, self.carol = peers["alice"], peers["bob"], peers["carol"]

    def tearDown(self):
        self.world.close()

    def test_inviting_while_invited_is_refused_and_a_third_invitation_is_ignored(self):
        self.alice.send("invite bob")
        expect_output(self.bob, "popup: Will you accept an invitation from alice?", 15)
        # The service still reports alice's announcement.
        self.bob.send("invite carol")
        self.bob.expect("Can't invite carol, expecting an invitation.", 5)
        # While alice waits for bob's answer, carol's Invite reaches her.
        self.carol.send("invite alice")
        self.alice.expect("Inviting bob, ignoring invitiation from carol", 15)
        self.carol.expect("Inviting alice...", 5)
        # Once the announcements have expired, the session itself refuses.
        time.sleep(ANNOUNCEMENT_GONE_SECONDS)
        self.bob.send("invite carol")
        self.bob.expect("Can't invite carol because alice attempts to invite you.", 10)
        self.carol.expect("Sorry, no connection to alice", 15)
        expect_state(self.carol, CLEAN)
        self.assertEqual(self.alice.statuses().count("Inviting bob, ignoring invitiation from carol"), 1,
                         "the Invite rounds are told once")
        # Bob's question was not disturbed.
        line, sessions = state(self.bob)
        self.assertIn("pending alice", line)
        self.assertEqual(len(sessions), 1, sessions)
        self.bob.send("reject")
        self.alice.expect("Sorry, bob rejected your invitation.", 10)
        for peer in (self.alice, self.bob, self.carol):
            expect_state(peer, CLEAN)


if __name__ == "__main__":
    unittest.main()
