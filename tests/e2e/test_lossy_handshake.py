"""The handshake over a network that loses a fifth of the datagrams in
both directions: every step is sent in several rounds, so at least nine
of ten invitations still connect. Five pairs try side by side, twice each."""

import sys
import threading
import unittest

from harness import World
from session_steps import CLEAN, LOGIN_OK, expect_output, expect_state

NET = 25
PAIRS = 5
TRIES_PER_PAIR = 2
LOSS_PERCENT = 20


class LossyHandshake(unittest.TestCase):
    def setUp(self):
        self.world = World(NET)
        names = []
        for i in range(PAIRS):
            names += ["host%d" % i, "guest%d" % i]
        self.world.start_service(*[(n, n + "-pw") for n in names])
        self.peers = {}
        for i, n in enumerate(names):
            extra = ["--peer-loss", "%d,%d" % (LOSS_PERCENT, 1000 + i)]
            if n.startswith("guest"):
                extra += ["--auto-answer", "accept"]
            self.peers[n] = self.world.peer(n, extra)
        for n in names:
            self.peers[n].send("login %s %s-pw" % (n, n))
        for n in names:
            self.peers[n].expect(LOGIN_OK, 20)
        for i in range(PAIRS):
            host = self.peers["host%d" % i]
            if not host.has_status("guest%d is online." % i):
                host.expect("guest%d is online." % i, 20)

    def tearDown(self):
        self.world.close()

    def _pair(self, i, results):
        host, guest = self.peers["host%d" % i], self.peers["guest%d" % i]
        for attempt in range(TRIES_PER_PAIR):
            host.send("invite guest%d" % i)
            try:
                host.expect("Connected to guest%d" % i, 20)
                guest.expect("Connected to host%d" % i, 10)
                results.append(True)
            except AssertionError:
                results.append(False)
            # End whatever is left before the next try. The Bye rounds reach
            # the guest; should all of them be lost, the try counts as failed.
            host.send("disconnect")
            expect_state(host, CLEAN, 20)
            try:
                expect_state(guest, CLEAN, 10)
            except AssertionError:
                results[-1] = False
                guest.send("disconnect")
                expect_state(guest, CLEAN, 20)

    def test_nine_of_ten_invitations_connect_with_a_fifth_of_the_datagrams_lost(self):
        per_pair = [[] for _ in range(PAIRS)]
        errors = []

        def run(i):
            try:
                self._pair(i, per_pair[i])
            except BaseException as e:  # reported below
                errors.append(e)

        threads = [threading.Thread(target=run, args=(i,)) for i in range(PAIRS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        if errors:
            raise errors[0]
        results = [r for pair in per_pair for r in pair]
        sys.stderr.write("%d of %d invitations connected\n" % (sum(results), len(results)))
        self.assertEqual(len(results), PAIRS * TRIES_PER_PAIR)
        self.assertGreaterEqual(sum(results), 9, "%d of %d connected\n%s" % (
            sum(results), len(results), self.world.transcripts()))


if __name__ == "__main__":
    unittest.main()
