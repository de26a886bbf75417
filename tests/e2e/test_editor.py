"""The editor in a real window, driven by real X input: alice and bob each
type their name and password into the Connect page and press LogIn; alice
picks bob in the users-online menu and presses Connect; bob's editor asks
and Return accepts; both editors switch to the Online page. At each step
the window shows exactly the frame the plug-in drew."""

import unittest

from audio_steps import reply
from editor_steps import XServer, shows_its_frame, tools_present, wait_editor
from harness import LOGIN_OK, World
from session_steps import CHANGE_SECONDS

NET = 83
# Connect page places (frame pixels): the middle of each control.
USER_FIELD = (452, 90)
PASSWORD_FIELD = (452, 111)
LOGIN_BUTTON = (568, 94)
USERS_MENU = (456, 129)
CONNECT_BUTTON = (568, 128)
# The first entry of the users menu when it opens under the menu box: the
# "Non Partners" submenu (alice and bob are not partners), and the first
# entry of that submenu, which opens to the right of it.
NON_PARTNERS = (430, 148)
FIRST_NON_PARTNER = (530, 148)


@unittest.skipUnless(tools_present(), "needs Xvfb, xdotool and xwd (tools/install-deps.sh)")
class EditorInAWindow(unittest.TestCase):
    def setUp(self):
        self.servers = {name: XServer(140 + 10 * i) for i, name in enumerate(("alice", "bob"))}
        for s in self.servers.values():
            self.addCleanup(s.close)
        self.world = World(NET)
        self.addCleanup(self.world.close)
        self.world.start_service(("alice", "alice-secret"), ("bob", "bob-secret"))
        self.peers = {n: self.world.peer(n, ["--editor"], extra_env=self.servers[n].env()) for n in self.servers}
        self.windows = {}
        for name, peer in self.peers.items():
            reply(peer, "state", "state")
            self.windows[name] = self.servers[name].window()

    def shot(self, name, step):
        return shows_its_frame(self.servers[name], self.windows[name], self.peers[name], self.world.folder,
                               "%s-%s" % (name, step))

    def log_in(self, name):
        server, window, peer = self.servers[name], self.windows[name], self.peers[name]
        self.assertEqual((0, None), wait_editor(peer, lambda s: s[0] == 0))
        self.shot(name, "1-connect-page")
        server.click(window, *USER_FIELD)
        server.type(name)
        server.key("Tab")
        server.type(name + "-secret")
        self.shot(name, "2-typed")
        server.click(window, *LOGIN_BUTTON)
        peer.expect(LOGIN_OK, 15)

    def test_log_in_invite_and_accept_through_the_windows(self):
        for name in self.peers:
            self.log_in(name)
        alice, bob = self.peers["alice"], self.peers["bob"]
        alice.expect("bob is online.", CHANGE_SECONDS)
        self.shot("alice", "3-logged-in")
        a = self.servers["alice"]
        a.click(self.windows["alice"], *USERS_MENU)
        self.shot("alice", "4-menu-open")
        a.click(self.windows["alice"], *NON_PARTNERS)
        a.click(self.windows["alice"], *FIRST_NON_PARTNER)
        a.click(self.windows["alice"], *CONNECT_BUTTON)
        page, popup = wait_editor(bob, lambda s: s[1] is not None)
        self.assertEqual((0, "Will you accept an invitation from alice?"), (page, popup))
        self.shot("bob", "3-asked")
        self.servers["bob"].key("Return")
        alice.expect("Connected to bob", 15)
        bob.expect("Connected to alice", 15)
        for name, peer in self.peers.items():
            self.assertEqual(1, wait_editor(peer, lambda s: s[0] == 1)[0])
            self.shot(name, "5-online")


if __name__ == "__main__":
    unittest.main()
