"""Two users: an invitation accepted, rejected or withdrawn, and a connected
session ended from either side, with the listener events and no session
left behind."""

import unittest

from session_steps import CLEAN, connect, count_output, expect_output, expect_state, logged_in_world

NET = 21


class Invitations(unittest.TestCase):
    def setUp(self):
        self.world, peers = logged_in_world(NET, ["alice", "bob"])
        self.alice, self.bob = peers["alice"], peers["bob"]

    def tearDown(self):
        self.world.close()

    def test_accepted_invitation_connects_both_and_either_side_can_end_it(self):
        self.alice.send("invite bob")
        self.alice.expect("Inviting bob...", 5)
        expect_output(self.bob, "popup: Will you accept an invitation from alice?", 15)
        self.bob.expect("Invitation from alice.")
        self.alice.expect("Waiting for bob to accept Invitation...")
        self.bob.send("accept")
        self.bob.expect_sequence(["Accepted connection to alice", "Connected to alice"], 10)
        self.alice.expect("Connected to bob", 10)
        expect_output(self.alice, "event: 1 bob")
        expect_output(self.bob, "event: 1 alice")
        expect_state(self.alice, "sessions 1 parked 0 live 1 partner bob")
        _, sessions = expect_state(self.bob, "partner alice")
        self.assertEqual(len(sessions), 1, sessions)
        self.assertIn("alice %s in connected" % self.alice.address, sessions[0])

        self.bob.send("disconnect")
        self.bob.expect("Disconnected from alice")
        expect_output(self.bob, "event: 2 alice")
        expect_output(self.alice, "event: 2 bob", 10)
        expect_state(self.alice, CLEAN)
        expect_state(self.bob, CLEAN)
        self.assertFalse(self.alice.has_status("cancelled"), self.alice.transcript())

        # And again, ended by the inviter this time.
        connect(self.alice, self.bob, "alice", "bob")
        self.alice.send("disconnect")
        self.alice.expect("Disconnected from bob")
        expect_output(self.alice, "event: 2 bob")
        expect_output(self.bob, "event: 2 alice", 10)
        expect_state(self.alice, CLEAN)
        expect_state(self.bob, CLEAN)

    def test_rejected_invitation_ends_both_sessions(self):
        self.alice.send("invite bob")
        expect_output(self.bob, "popup: Will you accept an invitation from alice?", 15)
        self.bob.send("reject")
        self.bob.expect("Rejected connection to alice")
        self.alice.expect("Sorry, bob rejected your invitation.", 10)
        expect_state(self.alice, CLEAN)
        expect_state(self.bob, CLEAN)
        self.assertEqual(count_output(self.alice, "event: 1"), 0)
        self.assertFalse(self.bob.has_status("Connected to"), self.bob.transcript())

    def test_inviter_cancelling_while_asked_withdraws_the_question(self):
        self.alice.send("invite bob")
        expect_output(self.bob, "popup: Will you accept an invitation from alice?", 15)
        self.alice.expect("Waiting for bob to accept Invitation...")
        # The Invite button again, with the outgoing invitation first: cancel.
        self.alice.send("invite bob")
        expect_output(self.alice, "invite: cancelled the outgoing invitation")
        self.alice.expect("Disconnected from bob")
        self.bob.expect("alice cancelled the invitation.", 10)
        expect_output(self.bob, "popup: closed", 5)
        expect_state(self.bob, CLEAN)
        expect_state(self.alice, CLEAN)
        # Nothing is left to answer.
        self.bob.send("accept")
        expect_output(self.bob, "note: no invitation to answer")
        self.assertFalse(self.bob.has_status("Accepted connection"), self.bob.transcript())


if __name__ == "__main__":
    unittest.main()
