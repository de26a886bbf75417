"""Steps shared by the partner-session scenarios: waiting for any output line
(listener events, the invitation popup, state reports) besides status lines,
and asking a peer for its session state."""

import time

from harness import LOGIN_OK, World

PASSWORD = "-secret"
# An online-list change shows on the other side after one keep-alive of the
# changing side and one online-list refresh of the other, each about 1.5 s.
CHANGE_SECONDS = 12
CLEAN = "sessions 0 parked 0 live 0 partner none pending none"


def expect_output(peer, text, seconds=10.0):
    """The first output line holding `text` after the previous match of
    this function on that peer (status lines have their own cursor)."""
    deadline = time.monotonic() + seconds
    cursor = getattr(peer, "_output_cursor", 0)
    while True:
        lines = peer.output()
        for i in range(cursor, len(lines)):
            if text in lines[i]:
                peer._output_cursor = i + 1
                return lines[i]
        if time.monotonic() > deadline or peer.process.poll() is not None:
            raise AssertionError("%s: no output line holding %r within %.1f s\n%s" % (
                peer.name, text, seconds, peer.transcript()))
        time.sleep(0.05)


def expect_output_anywhere(peer, text, seconds=10.0):
    """An output line holding `text` anywhere in the peer's output, for
    events whose order against others is not fixed; the cursor stays."""
    deadline = time.monotonic() + seconds
    while True:
        for line in peer.output():
            if text in line:
                return line
        if time.monotonic() > deadline or peer.process.poll() is not None:
            raise AssertionError("%s: no output line holding %r within %.1f s\n%s" % (
                peer.name, text, seconds, peer.transcript()))
        time.sleep(0.05)


def count_output(peer, text):
    return sum(1 for l in peer.output() if text in l)


def state(peer):
    """The peer's state line (after "state: ") and its session lines."""
    before = len(peer.output())
    peer.send("state")
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        lines = peer.output()[before:]
        for i, line in enumerate(lines):
            if line.startswith("state: "):
                time.sleep(0.05)
                lines = peer.output()[before:]
                sessions = [l[len("session: "):] for l in lines[i + 1:] if l.startswith("session: ")]
                return line[len("state: "):], sessions
        time.sleep(0.05)
    raise AssertionError("%s: no state line\n%s" % (peer.name, peer.transcript()))


def expect_state(peer, text, seconds=10.0):
    """Asks for the state until its line holds `text`."""
    deadline = time.monotonic() + seconds
    while True:
        line, sessions = state(peer)
        if text in line:
            return line, sessions
        if time.monotonic() > deadline:
            raise AssertionError("%s: state %r never held %r\n%s" % (
                peer.name, line, text, peer.transcript()))
        time.sleep(0.3)


def logged_in_world(net, names, args=None, envs=None):
    """A world with one account per name, every peer logged in and seeing
    all the others online. `args` maps names to extra trvhost arguments,
    `envs` to extra environment variables."""
    world = World(net)
    try:
        world.start_service(*[(n, n + PASSWORD) for n in names])
        peers = {}
        for n in names:
            peers[n] = world.peer(n, (args or {}).get(n, ()), extra_env=(envs or {}).get(n))
        # Side by side: each login waits half a second for port replies.
        for n in names:
            peers[n].send("login %s %s" % (n, n + PASSWORD))
        for n in names:
            peers[n].expect(LOGIN_OK, 15)
        for n in names:
            for other in names:
                if other != n and not peers[n].has_status(other + " is online."):
                    peers[n].expect(other + " is online.", CHANGE_SECONDS)
        return world, peers
    except BaseException:
        world.close()
        raise


def connect(inviter, invitee, inviter_name, invitee_name, answer=True):
    """inviter invites invitee, who accepts from the popup (unless it
    answers by itself); both end connected."""
    inviter.send("invite " + invitee_name)
    expect_output(invitee, "popup: Will you accept an invitation from %s?" % inviter_name, 15)
    if answer:
        invitee.send("accept")
    inviter.expect("Connected to " + invitee_name, 15)
    invitee.expect("Connected to " + inviter_name, 15)
    expect_output(inviter, "event: 1 " + invitee_name, 10)
    expect_output(invitee, "event: 1 " + inviter_name, 10)


__all__ = ["CHANGE_SECONDS", "CLEAN", "LOGIN_OK", "connect", "count_output", "expect_output",
           "expect_state", "logged_in_world", "state"]
