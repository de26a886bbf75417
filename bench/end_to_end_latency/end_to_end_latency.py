#!/usr/bin/env python3
"""End-to-end latency of the partner audio: the community service with two
accounts and two peers (trvhost, built-in plug-in) connected on loopback.
The first plays a click on every whole 500 ms of the shared monotonic
clock, the second records what comes out of its plug-in and measures when
each click arrives. The baseline is the floor the path cannot beat (one
block, the encoder's latency, one MP3 frame and the playout margin); the
result is the median against it. Then, with the second host chasing the
first one's time code, clicks on whole half seconds of the first one's
song position: how far from their song positions they come out of the
second plug-in (median and largest deviation; perfectly aligned is 0).

usage: end_to_end_latency.py --trvhost PATH --service PATH --content DIR
                             [--seconds S] [--block N]
Exit status 0 with a measurement, 1 when no click was heard or a step failed.
"""

import argparse
import os
import sys
import time

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))

import harness  # noqa: E402
from audio_signals import RATE  # noqa: E402
from audio_steps import connected_pair, latency, play, record, record_stop, reply, switch  # noqa: E402
from transport_steps import chasing_pair, play_song_clicks_from, song_latency, started_at  # noqa: E402

NET = 41
ALIGN_NET = 42


def measure(seconds, block):
    args = ["--block", str(block)]
    world, sender, listener = connected_pair(NET, ["alice", "bob"], {"alice": args, "bob": args})
    try:
        # Only the partner's clicks in the listener's output.
        switch(listener, "thru", False)
        record(listener, os.path.join(world.folder, "clicks.wav"))
        play(sender, "clicks")
        # The latency command measures the clicks since the previous one:
        # the first second, with the click train starting, is left out.
        time.sleep(1.0)
        latency(listener)
        time.sleep(seconds)
        result = latency(listener)
        record_stop(listener)
        return result
    finally:
        world.close()


def measure_alignment(seconds, block):
    """Song-locked clicks from a playing partner heard by a host chasing its
    time code: (median frames, largest deviation, clicks) against the song
    positions they were played at, or None."""
    args = ["--block", str(block)]
    world, sender, listener = chasing_pair(ALIGN_NET, args, args)
    try:
        play_song_clicks_from(sender, 10 * RATE)
        started_at(listener, 5.0)
        time.sleep(1.5)
        song_latency(listener)
        time.sleep(seconds)
        before = len(listener.output())
        result = song_latency(listener)
        if result is None:
            return None
        worst = None
        for line in listener.output()[before:]:
            if line.startswith("alignment: max "):
                worst = int(line.split()[2])
        return result[0], worst, result[1]
    finally:
        world.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--trvhost", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--content", required=True)
    parser.add_argument("--seconds", type=float, default=8.0, help="clicks measured (default 8 s)")
    parser.add_argument("--block", type=int, default=256, help="host block in frames (default 256)")
    args = parser.parse_args()
    if not 2.0 <= args.seconds <= 600.0:
        parser.error("--seconds wants 2 to 600")
    if not 16 <= args.block <= 8192:
        parser.error("--block wants 16 to 8192 frames")
    harness.TRVHOST = os.path.abspath(args.trvhost)
    harness.SERVICE = os.path.abspath(args.service)
    harness.CONTENT = os.path.abspath(args.content)
    try:
        result = measure(args.seconds, args.block)
    except AssertionError as e:
        print("end_to_end_latency: %s" % e, file=sys.stderr)
        return 1
    if result is None:
        print("latency: no clicks heard")
        return 1
    median, clicks, floor, difference = result
    per_ms = RATE / 1000.0
    print("%d clicks at %d Hz, block %d frames: %.1f ms, floor %.1f ms, ratio to the floor %.3f" % (
        clicks, RATE, args.block, median / per_ms, floor / per_ms, median / floor if floor else 0.0))
    print("latency: %d frames, floor %d, difference %d (target: within one block)" % (
        median, floor, difference))
    try:
        aligned = measure_alignment(args.seconds, args.block)
    except AssertionError as e:
        print("end_to_end_latency: %s" % e, file=sys.stderr)
        return 1
    if aligned is None:
        print("alignment: no clicks heard")
        return 1
    print("alignment: median %d frames, max %s frames over %d clicks (target: median within 2 frames)" % aligned)
    return 0


if __name__ == "__main__":
    sys.exit(main())
