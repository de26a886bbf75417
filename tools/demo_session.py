#!/usr/bin/env python3
"""The main job of the demo: two musicians playing together.

Starts the community service on loopback with two accounts, two test hosts
with the built-in plug-in as the two musicians, each with a synthetic
camera (alice a moving square over colour bars, bob colour bars), logs
both in and connects them (alice invites, bob accepts), then each plays a
piece of synthesised music into his plug-in for a few seconds while the
other records what his plug-in plays of the partner. Then a short click
phase each way measures the latency. Prints the connection, the bitrate,
the latency, drop-outs, how closely each recording follows the music sent
and the pictures sent and shown each way, and leaves the music and both
recordings as WAV files in the output folder, beside each side's last
picture of the partner as a PNG file. Each side's editor is open all
along (on this display if there is one, else each in an Xvfb of its own,
else drawn in memory only) and its Online page is saved at the end as
alice-editor.png and bob-editor.png.

usage: demo_session.py --build DIR --out DIR [--seconds S]
"""

import argparse
import os
import sys
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import audio_signals as sig  # noqa: E402
import harness  # noqa: E402
from audio_steps import (audio, latency, play, record, record_stop, reply, setting,  # noqa: E402
                         switch, wait_audio)
from session_steps import connect, logged_in_world  # noqa: E402
from editor_steps import XServer, tools_present  # noqa: E402
from video_steps import snapshot, video  # noqa: E402

NET = 51
NAMES = ("alice", "bob")
CLICK_SECONDS = 4.0
MAX_LAG_FRAMES = sig.RATE * 3 // 2
CAMERAS = {"alice": ["--camera", "pattern"], "bob": ["--camera", "bars"]}


def say(text):
    print(text, flush=True)


def ms(frames):
    return frames * 1000.0 / sig.RATE


def describe_stream(sender, receiver, before, after):
    """One direction during the music: `before` and `after` map names to
    the audio reports taken around it."""
    sent, got = after[sender], after[receiver]
    return ("%s -> %s: MP3 at %d kbit/s, %d frames sent, %d blocks lost; %d frames decoded, "
            "%d drop-outs, %d overflows during the music (%d drop-outs since connecting), "
            "max latency %s ms" % (
                sender, receiver, sent["bitrate"], sent["sent"] - before[sender]["sent"],
                sent["lost"] - before[sender]["lost"], got["decoded"] - before[receiver]["decoded"],
                got["dropouts"] - before[receiver]["dropouts"],
                got["overflows"] - before[receiver]["overflows"], got["dropouts"],
                got["max_latency_ms"]))


def run(out, seconds):
    pieces = {}
    for name, piece in zip(NAMES, ("a", "b")):
        path = os.path.join(out, "%s-plays.wav" % name)
        left, right = sig.music(piece, seconds)
        sig.write_wav(path, [left, right])
        pieces[name] = (path, sig.read_wav(path).mono())
    say("music: %s (%.0f s each)" % (", ".join(p for p, _ in pieces.values()), seconds))

    # Each side's editor: on this display when there is one, else each in
    # an X server of its own (Xvfb), else drawn in memory only.
    servers, envs, args = [], {}, {n: list(a) for n, a in CAMERAS.items()}
    for i, name in enumerate(NAMES):
        if os.environ.get("DISPLAY"):
            args[name].append("--editor")
        elif tools_present():
            servers.append(XServer(170 + 10 * i))
            envs[name] = servers[-1].env()
            args[name].append("--editor")
        else:
            args[name] += ["--editor", "offscreen"]
    world, peers = logged_in_world(NET, NAMES, args, envs)
    try:
        alice, bob = peers["alice"], peers["bob"]
        say("service: 127.0.0.1:%d with the accounts alice and bob" % world.port)
        say("logged in: alice from %s, bob from %s" % (alice.address, bob.address))
        connect(alice, bob, "alice", "bob")
        say("connected: alice invited bob, bob accepted")
        for p in (alice, bob):
            wait_audio(p, lambda r: r["decoded"] > 0, 15)
        upstream, audio_rate, codec = setting(alice, "codec 34")
        say("settings: upstream %d kbit/s, audio %g kbit/s, codec %d (MP3)" % (upstream, audio_rate, codec))

        # What each plug-in plays of the partner only, so the recording is
        # what came over the network.
        recordings = {}
        for p in (alice, bob):
            switch(p, "thru", False)
        for listener, speaker in ((bob, alice), (alice, bob)):
            path = os.path.join(out, "%s-hears-%s.wav" % (listener.name, speaker.name))
            recordings[listener.name] = (speaker.name, path)
            record(listener, path)
        before = {p.name: audio(p) for p in (alice, bob)}
        for p in (alice, bob):
            play(p, pieces[p.name][0])
        say("streaming: %.0f s of music each way" % seconds)
        time.sleep(seconds + 0.5)
        for p in (alice, bob):
            record_stop(p)
            play(p, "stop")
        after = {p.name: audio(p) for p in (alice, bob)}
        say(describe_stream("alice", "bob", before, after))
        say(describe_stream("bob", "alice", before, after))

        # Clicks on every whole half second of the shared clock, both ways;
        # the latency command measures the clicks since the previous one, so
        # a first one after the music's tail has arrived starts afresh.
        time.sleep(0.5)
        for p in (alice, bob):
            latency(p)
            play(p, "clicks")
        time.sleep(CLICK_SECONDS)
        delays = {p.name: latency(p) for p in (alice, bob)}
        for p in (alice, bob):
            play(p, "stop")
        for listener, speaker in (("bob", "alice"), ("alice", "bob")):
            d = delays[listener]
            if d is None:
                say("latency %s -> %s: no clicks heard" % (speaker, listener))
            else:
                say("latency %s -> %s: %d frames (%.1f ms) over %d clicks; floor %d, difference %d" % (
                    speaker, listener, d[0], ms(d[0]), d[1], d[2], d[3]))

        for listener in ("bob", "alice"):
            speaker, path = recordings[listener]
            heard = sig.read_wav(path).mono()
            sent = pieces[speaker][1]
            probe = sig.RATE * 4
            lag, _ = sig.find_lag(sent[:probe], heard[:probe + MAX_LAG_FRAMES], MAX_LAG_FRAMES)
            scores = sorted(w[2] for w in sig.window_matches(sent, heard, lag))
            if scores:
                say("%s hears %s's music with a correlation of %.3f (median over half seconds, "
                    "lowest %.3f)" % (listener, speaker, scores[len(scores) // 2], scores[0]))
        # The pictures each way, and each side's last picture of the partner.
        for p in (alice, bob):
            for line in video(p)["lines"]:
                say("%s %s" % (p.name, line))
        pictures = []
        for viewer, partner in ((alice, bob), (bob, alice)):
            path = os.path.join(out, "%s-sees-%s.png" % (viewer.name, partner.name))
            snapshot(viewer, "partner", path)
            pictures.append(path)
        # Each side's editor on the Online page with the partner's picture.
        editors = []
        for p in (alice, bob):
            path = os.path.join(out, "%s-editor.png" % p.name)
            reply(p, "screenshot " + path, "screenshot: ")
            editors.append(path)
        say("recordings:")
        for listener in ("bob", "alice"):
            say("  %s" % recordings[listener][1])
        say("pictures:")
        for path in pictures:
            say("  %s" % path)
        say("editors:")
        for path in editors:
            say("  %s" % path)
        ok = all(d is not None for d in delays.values())
        return 0 if ok else 1
    finally:
        world.close()
        for server in servers:
            server.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="the build folder")
    parser.add_argument("--out", required=True, help="folder for the WAV and PNG files")
    parser.add_argument("--seconds", type=float, default=10.0, help="music each way (default 10 s)")
    args = parser.parse_args()
    if not 2.0 <= args.seconds <= 120.0:
        parser.error("--seconds wants 2 to 120")
    harness.TRVHOST = os.path.join(os.path.abspath(args.build), "tools", "trvhost", "trvhost")
    harness.SERVICE = os.path.join(os.path.abspath(args.build), "service", "tarvonet-service")
    harness.CONTENT = os.path.join(ROOT, "service", "content")
    for program in (harness.TRVHOST, harness.SERVICE):
        if not os.access(program, os.X_OK):
            print("demo_session: %s is not built" % program, file=sys.stderr)
            return 1
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    try:
        return run(out, args.seconds)
    except AssertionError as e:
        print("demo_session: %s" % e, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
