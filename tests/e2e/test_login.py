"""Logging in and out of the real service, one peer at a time."""

import unittest

from harness import LOGIN_OK, World, free_tcp_port

NET = 11


class Login(unittest.TestCase):
    def setUp(self):
        self.world = World(NET)
        self.addCleanup(self.world.close)
        self.world.start_service(("alice", "alice-secret"))
        self.alice = self.world.peer("alice")

    def test_good_login_welcomes_and_logout_says_goodbye(self):
        self.alice.send("login alice alice-secret")
        self.alice.expect_sequence(["Logging in...", LOGIN_OK], 15)
        self.alice.send("logout")
        self.alice.expect_sequence(["Logging out...", "Logged out."])
        self.assertEqual(self.alice.finish(), 0)

    def test_wrong_password_shows_the_service_reply_and_fails(self):
        self.alice.send("login alice wrong-secret")
        self.alice.expect_sequence(
            ["Logging in...", "4001 Wrong user name or password.", "** Login failed **"], 15)
        # Still logged out: the right password now works.
        self.alice.send("login alice alice-secret")
        self.alice.expect_sequence(["Logging in...", LOGIN_OK], 15)

    def test_unknown_user_gets_the_same_reply(self):
        self.alice.send("login mallory alice-secret")
        self.alice.expect_sequence(
            ["Logging in...", "4001 Wrong user name or password.", "** Login failed **"], 15)

    def test_missing_name_or_password_asks_no_service(self):
        for command, reply in [('login "" alice-secret', "** No User Name **"),
                               ('login "(no user)" alice-secret', "** No User Name **"),
                               ('login alice ""', "** No Password **"),
                               ('login alice "(no passwd)"', "** No Password **")]:
            self.alice.send(command)
            self.alice.expect(reply)
        self.alice.send("quit")
        self.assertEqual(self.alice.finish(), 0)
        self.assertFalse(self.alice.has_status("Logging in..."), self.alice.transcript())

    def test_login_without_a_service_fails(self):
        self.world.service.stop()
        self.alice.send("login alice alice-secret")
        self.alice.expect("Logging in...")
        self.alice.expect("** Login failed **", 20)
        self.assertFalse(self.alice.has_status(LOGIN_OK))


if __name__ == "__main__":
    unittest.main()
