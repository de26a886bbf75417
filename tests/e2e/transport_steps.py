"""Steps of the transport scenarios: the test host's transport, sync and
song-click commands with their answers parsed, and a pair where the second
peer's host chases the time code its plug-in hands it."""

import re
import time

from audio_steps import connected_pair, reply, settle
from session_steps import expect_output

RATE = 48000
HALF_SECOND = RATE // 2

_TRANSPORT = re.compile(r"^transport: (playing|stopped|located) at (-?\d+)$")


def transport(peer, command):
    """`transport play|stop|locate N`; the position it printed."""
    line = reply(peer, "transport " + command, "transport: ")
    m = _TRANSPORT.match(line)
    if not m:
        raise AssertionError("%s: odd transport line %r" % (peer.name, line))
    return int(m.group(2))


def started_at(peer, seconds=5.0):
    """The position of the next "transport: playing at" line (a chasing
    host starting by itself)."""
    line = expect_output(peer, "transport: playing at", seconds)
    return int(line.rsplit(" ", 1)[1])


_SONG = re.compile(r"^latency: (-?\d+) frames median over (\d+) clicks \(floor 0, difference -?\d+\)$")


def song_latency(peer, instance=1):
    """(median frames, clicks) of the song clicks heard in the instance's
    output since the previous call, relative to their song positions;
    None when none was heard."""
    line = reply(peer, "latency song %d" % instance, "latency: ")
    if line == "latency: no clicks heard":
        return None
    m = _SONG.match(line)
    if not m:
        raise AssertionError("%s: odd song latency line %r" % (peer.name, line))
    return int(m.group(1)), int(m.group(2))


def chasing_pair(net, alice_args=(), bob_args=()):
    """alice and bob connected; bob's host chases the time code and his
    first instance is the sync source; bob hears only alice (thru off)."""
    world, alice, bob = connected_pair(net, ["alice", "bob"],
                                       {"alice": list(alice_args), "bob": ["--chase-mtc", *bob_args]})
    try:
        bob.send("sync on 1")
        bob.send("switch thru off 1")
        settle(bob)
        return world, alice, bob
    except BaseException:
        world.close()
        raise


def play_song_clicks_from(alice, position):
    """alice's song clicks from `position` on; the wall time she started."""
    transport(alice, "locate %d" % position)
    alice.send("play clicks song 1")
    settle(alice)
    transport(alice, "play")
    return time.monotonic()


__all__ = ["HALF_SECOND", "RATE", "chasing_pair", "play_song_clicks_from", "song_latency", "started_at",
           "transport"]
