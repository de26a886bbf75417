"""Steps of the audio scenarios, the demo and the latency benchmark: the
test host's audio commands with their answers parsed, and a pair of peers
connected through the service.

Instances are numbered from 1 as in the host's commands.
"""

import re
import time

from session_steps import connect, logged_in_world, state


def reply(peer, command, prefix, seconds=10.0):
    """Sends `command` and returns the first output line starting with
    `prefix` that the peer prints after it."""
    before = len(peer.output())
    peer.send(command)
    deadline = time.monotonic() + seconds
    while True:
        lines = peer.output()
        for line in lines[before:]:
            if line.startswith(prefix):
                return line
        if time.monotonic() > deadline or peer.process.poll() is not None:
            raise AssertionError("%s: no line starting with %r after %r within %.1f s\n%s" % (
                peer.name, prefix, command, seconds, peer.transcript()))
        time.sleep(0.02)


def settle(peer):
    """Returns once the peer has run every command sent so far (the host
    runs them in order; the state command answers)."""
    state(peer)


def play(peer, what, instance=1):
    """`what`: a WAV file, "clicks" or "stop"."""
    peer.send("play %s %d" % (what, instance))


def record(peer, path, instance=1):
    peer.send("record %s %d" % (path, instance))


_RECORD = re.compile(r"^record: (.*), (\d+) frames$")


def record_stop(peer, instance=1):
    """Ends the recording; the number of frames written."""
    line = reply(peer, "record stop %d" % instance, "record: ")
    m = _RECORD.match(line)
    if not m:
        raise AssertionError("%s: odd record line %r" % (peer.name, line))
    return int(m.group(2))


def switch(peer, name, on, instance=1):
    """`name`: send, receive, thru or mute (on play)."""
    peer.send("switch %s %s %d" % (name, "on" if on else "off", instance))


def defaults(peer, instances):
    """Every switch as a new instance has it, nothing playing or
    recording, the transport stopped."""
    for k in range(1, instances + 1):
        for name, on in (("send", True), ("receive", True), ("thru", True), ("mute", False)):
            switch(peer, name, on, k)
        play(peer, "stop", k)
    peer.send("transport stop")
    peer.send("monitor off")
    settle(peer)


_LATENCY = re.compile(
    r"^latency: (\d+) frames median over (\d+) clicks \(floor (\d+), difference (-?\d+)\)$")


def latency(peer, instance=1):
    """(median frames, clicks, floor frames, difference) of the clicks heard
    in the instance's output, or None when it heard none."""
    line = reply(peer, "latency %d" % instance, "latency: ")
    if line == "latency: no clicks heard":
        return None
    m = _LATENCY.match(line)
    if not m:
        raise AssertionError("%s: odd latency line %r" % (peer.name, line))
    return tuple(int(g) for g in m.groups())


_SETTINGS = re.compile(r"^settings: upstream (\d+) kbit/s, audio (\d+(?:\.\d+)?) kbit/s, codec (\d+)$")


def setting(peer, command):
    """Runs upstream, quality or codec; (upstream, audio rate, codec)."""
    line = reply(peer, command, "settings: ")
    m = _SETTINGS.match(line)
    if not m:
        raise AssertionError("%s: odd settings line %r" % (peer.name, line))
    return int(m.group(1)), float(m.group(2)), int(m.group(3))


_OFFSET = re.compile(r"^offset: (on|off), delay (\d+) frames$")


def offset(peer, on, instance=1):
    """Record-offset compensation of the instance; the delay in frames."""
    line = reply(peer, "offset %s %d" % ("on" if on else "off", instance), "offset: ")
    m = _OFFSET.match(line)
    if not m:
        raise AssertionError("%s: odd offset line %r" % (peer.name, line))
    return int(m.group(2))


_AUDIO_FIELDS = {
    "bitrate": r"send\b.*?\bat (\d+) kbit/s",
    "sent": r"(\d+) frames sent",
    "lost": r"(\d+) blocks lost",
    "decoded": r"(\d+) frames decoded",
    "dropouts": r"(\d+) drop-outs",
    "overflows": r"(\d+) overflows",
    "max_latency_ms": r"max latency (\d+(?:\.\d+)?) ms",
}


def audio(peer):
    """The first session's audio report: its partner's name, the line and
    the numbers in it; None when the peer has no session."""
    line = reply(peer, "audio", "audio: ")
    if line == "audio: no session":
        return None
    report = {"line": line, "partner": line[len("audio: "):].split(" ", 1)[0]}
    for key, pattern in _AUDIO_FIELDS.items():
        m = re.search(pattern, line)
        if not m:
            raise AssertionError("%s: no %s in %r" % (peer.name, key, line))
        report[key] = float(m.group(1)) if "." in m.group(1) else int(m.group(1))
    return report


def wait_audio(peer, condition, seconds=10.0):
    """Asks for the audio report until condition(report) holds."""
    deadline = time.monotonic() + seconds
    while True:
        report = audio(peer)
        if report and condition(report):
            return report
        if time.monotonic() > deadline:
            raise AssertionError("%s: audio report never as wanted: %r\n%s" % (
                peer.name, report, peer.transcript()))
        time.sleep(0.2)


def connected_pair(net, names, args=None):
    """A world with two peers logged in, the first inviting the second,
    who accepts; both report decoded partner audio."""
    world, peers = logged_in_world(net, names, args)
    try:
        a, b = peers[names[0]], peers[names[1]]
        connect(a, b, names[0], names[1])
        wait_audio(a, lambda r: r["decoded"] > 0, 15)
        wait_audio(b, lambda r: r["decoded"] > 0, 15)
        return world, a, b
    except BaseException:
        world.close()
        raise


__all__ = ["audio", "connected_pair", "defaults", "latency", "offset", "play", "record",
           "record_stop", "reply", "setting", "settle", "switch", "wait_audio"]
