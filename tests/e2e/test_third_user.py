"""A third user inviting one of a connected pair: the invited user's policy
decides, and accepting ends the first session."""

import unittest

from session_steps import CHANGE_SECONDS, CLEAN, connect, expect_output, expect_output_anywhere, expect_state, logged_in_world

NET = 23


class ThirdUser(unittest.TestCase):
    def setUp(self):
        self.world, peers = logged_in_world(NET, ["alice", "bob", "carol"],
                                            {"bob": ["--auto-answer", "accept"]})
        self.alice, self.bob, self.carol = peers["alice"], peers["bob"], peers["carol"]

    def tearDown(self):
        self.world.close()

    def test_policies_refuse_before_inviting_and_an_accept_ends_the_first_session(self):
        connect(self.alice, self.bob, "alice", "bob", answer=False)
        self.carol.expect("alice is connected", CHANGE_SECONDS)

        # Not to be disturbed while connected.
        self.alice.send("policy 2")
        self.carol.expect("alice does not want not to be disturbed", CHANGE_SECONDS)
        self.carol.send("invite alice")
        self.carol.expect("Sorry, alice does not want to be disturbed.", 5)
        expect_output(self.carol, "invite: refused: does not want to be disturbed")

        # Partners only; carol is not one of hers.
        self.alice.send("policy 1")
        self.carol.expect("alice only wants Invitations from partners", CHANGE_SECONDS)
        self.carol.send("invite alice")
        self.carol.expect("Sorry, alice only wants to connect to partners.", 5)
        self.assertFalse(self.carol.has_status("Inviting alice..."), self.carol.transcript())

        # Anyone: carol's invitation is asked while alice is connected.
        self.alice.send("policy 0")
        self.carol.expect("alice allows Invitations from anyone", CHANGE_SECONDS)
        self.carol.send("invite alice")
        self.carol.expect("Inviting alice...", 5)
        expect_output(self.alice, "popup: Will you accept an invitation from carol?", 15)
        expect_state(self.alice, "partner bob pending carol")
        self.alice.send("accept")
        self.alice.expect("Disconnected from bob", 10)
        self.alice.expect("Accepted connection to carol", 10)
        self.alice.expect("Connected to carol", 10)
        self.carol.expect("Connected to alice", 10)
        # The new session's connect and the old one's release come from
        # different threads: either may be told first.
        expect_output_anywhere(self.alice, "event: 2 bob", 10)
        expect_output(self.bob, "event: 2 alice", 10)
        expect_output_anywhere(self.alice, "event: 1 carol", 10)
        expect_state(self.alice, "sessions 1 parked 0 live 1 partner carol")
        expect_state(self.bob, CLEAN)


if __name__ == "__main__":
    unittest.main()
