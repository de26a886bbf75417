"""Users online at once: each is told about the others' arrival,
availability changes and departure through the presence lines."""

import unittest

from harness import LOGIN_OK, World

NET = 12
# A change shows on the other side after one keep-alive of the changing
# side and one online-list refresh of the other, each about 2 s apart.
CHANGE_SECONDS = 12


class UsersOnline(unittest.TestCase):
    """Three users stay logged in for all of these; each test leaves the
    availability it changed as it found it and uses its own partner pair."""

    @classmethod
    def setUpClass(cls):
        cls.world = World(NET)
        try:
            cls.world.start_service(("alice", "alice-secret"), ("bob", "bob-secret"),
                                    ("carol", "carol-secret"))
            cls.alice = cls.world.peer("alice")
            cls.bob = cls.world.peer("bob")
            cls.carol = cls.world.peer("carol")
            cls.alice.send("login alice alice-secret")
            cls.alice.expect_sequence(["Logging in...", LOGIN_OK], 15)
            # A later user learns of the earlier ones while logging in, so
            # their lines come before the welcome.
            cls.bob.send("login bob bob-secret")
            cls.bob.expect_sequence(["Logging in...", "alice is online.", LOGIN_OK], 15)
            cls.carol.send("login carol carol-secret")
            cls.carol.expect_sequence(
                ["Logging in...", "alice is online.", "bob is online.", LOGIN_OK], 15)
            cls.alice.expect("bob is online.", CHANGE_SECONDS)
            cls.alice.expect("carol is online.", CHANGE_SECONDS)
            cls.bob.expect("carol is online.", CHANGE_SECONDS)
        except BaseException:
            cls.world.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.world.close()

    def test_nobody_is_listed_to_himself_and_nobody_times_out(self):
        for peer in (self.alice, self.bob, self.carol):
            self.assertFalse(peer.has_status(peer.name + " is online."), peer.transcript())
            self.assertFalse(peer.has_status("Session timeout"), peer.transcript())
            self.assertFalse(peer.has_status("has logged out."), peer.transcript())

    def test_invitation_policy_changes_are_told(self):
        self.alice.send("policy 1")
        self.bob.expect("alice only wants Invitations from partners", CHANGE_SECONDS)
        self.carol.expect("alice only wants Invitations from partners", CHANGE_SECONDS)
        self.alice.send("policy 0")
        self.bob.expect("alice allows Invitations from anyone", CHANGE_SECONDS)
        # Not wanting to be disturbed only counts while connected: bob's
        # policy 2 is no news, and once his policy 3 is told, the 2 has
        # been seen too.
        self.bob.send("policy 2")
        self.bob.send("sleep 1500")
        self.bob.send("policy 3")
        self.alice.expect("bob only wants Invitations from partners", CHANGE_SECONDS)
        self.assertFalse(self.alice.has_status("bob does not want"), self.alice.transcript())
        self.bob.send("policy 0")
        self.alice.expect("bob allows Invitations from anyone", CHANGE_SECONDS)

    def test_partnership_ended_while_online_is_told_to_both(self):
        self.world.service.admin("partner", "add", "alice", "bob")
        self.alice.expect("bob has become your partner", CHANGE_SECONDS)
        self.bob.expect("alice has become your partner", CHANGE_SECONDS)
        self.world.service.admin("partner", "del", "alice", "bob")
        self.bob.expect("alice is no longer your partner", CHANGE_SECONDS)
        self.alice.expect("bob is no longer your partner", CHANGE_SECONDS)
        # Carol is in neither pair.
        self.assertFalse(self.carol.has_status("bob has become your partner"), self.carol.transcript())

    def test_partnership_made_while_online_is_told_to_both(self):
        # The service reads an account's partner pairs when it logs in, so
        # a pair added while both are online reaches neither session until
        # one of them logs in again.
        self.world.service.admin("partner", "add", "alice", "carol")
        self.carol.expect("alice has become your partner", 4)
        self.alice.expect("carol has become your partner", CHANGE_SECONDS)


class Departures(unittest.TestCase):
    def setUp(self):
        self.world = World(NET + 100)
        self.addCleanup(self.world.close)
        self.world.start_service(("alice", "alice-secret"), ("bob", "bob-secret"))
        self.alice = self.world.peer("alice")
        self.bob = self.world.peer("bob")
        self.world.login(self.alice, "alice", "alice-secret")
        self.world.login(self.bob, "bob", "bob-secret")

    def test_logout_return_and_quit_are_told(self):
        self.alice.send("logout")
        self.alice.expect_sequence(["Logging out...", "Logged out."])
        self.bob.expect("alice has logged out.", CHANGE_SECONDS)
        self.world.login(self.alice, "alice", "alice-secret")
        self.bob.expect("alice is online.", CHANGE_SECONDS)
        # Ending the host while logged in logs out too.
        self.alice.send("quit")
        self.assertEqual(self.alice.finish(), 0)
        self.bob.expect("alice has logged out.", CHANGE_SECONDS)


if __name__ == "__main__":
    unittest.main()
