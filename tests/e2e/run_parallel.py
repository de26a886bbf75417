#!/usr/bin/env python3
"""Runs several groups of end-to-end scenarios side by side, each in a
process of its own (run_e2e.py), and fails if any of them fails. Every
group uses its own 127.0.<net>.x addresses, so they do not meet.

usage: run_parallel.py --trvhost PATH --service PATH --content DIR GROUP...
"""

import argparse
import os
import subprocess
import sys
import time


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--trvhost", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--content", required=True)
    parser.add_argument("groups", nargs="+")
    args = parser.parse_args()
    runner = os.path.join(os.path.dirname(os.path.abspath(__file__)), "run_e2e.py")
    started = time.monotonic()
    children = []
    for group in args.groups:
        command = [sys.executable, runner, "--trvhost", args.trvhost, "--service", args.service,
                   "--content", args.content, group]
        children.append((group, subprocess.Popen(command, stdout=subprocess.PIPE,
                                                 stderr=subprocess.STDOUT, text=True)))
    failed = []
    for group, child in children:
        output, _ = child.communicate()
        status = "ok" if child.returncode == 0 else "FAILED"
        print("==== %s: %s after %.0f s" % (group, status, time.monotonic() - started))
        print(output)
        if child.returncode != 0:
            failed.append(group)
    if failed:
        print("failed groups: " + " ".join(failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
