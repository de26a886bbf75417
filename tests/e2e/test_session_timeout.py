"""A login session the service no longer knows: the keep-alives are refused
and the plug-in logs out with "Session timeout - please login again!"."""

import unittest

from harness import LOGIN_OK, World

NET = 13
TIMEOUT_LINE = "Session timeout - please login again!"
# Four refused keep-alives in a row, about 1.5 s apart, plus the failed
# request on the connection the old service closed.
TIMEOUT_SECONDS = 30


class SessionTimeout(unittest.TestCase):
    def setUp(self):
        self.world = World(NET)
        self.addCleanup(self.world.close)
        self.world.start_service(("alice", "alice-secret"), ("bob", "bob-secret"))

    def test_restarted_service_times_both_sessions_out(self):
        alice = self.world.peer("alice")
        bob = self.world.peer("bob")
        self.world.login(alice, "alice", "alice-secret")
        self.world.login(bob, "bob", "bob-secret")
        alice.expect("bob is online.", 12)
        self.world.service.restart()
        alice.expect(TIMEOUT_LINE, TIMEOUT_SECONDS)
        bob.expect(TIMEOUT_LINE, TIMEOUT_SECONDS)
        # Logged out now: a new login is accepted by the new service.
        alice.send("login alice alice-secret")
        alice.expect_sequence(["Logging in...", LOGIN_OK], 15)
        self.assertEqual(alice.statuses().count(TIMEOUT_LINE), 1, alice.transcript())


if __name__ == "__main__":
    unittest.main()
