#!/usr/bin/env python3
"""Runs one group of end-to-end scenarios (a test_<group>.py module).

usage: run_e2e.py --trvhost PATH --service PATH --content DIR [--plugin PATH] GROUP [unittest options]
"""

import argparse
import importlib
import os
import sys
import unittest

import harness


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--trvhost", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--content", required=True)
    parser.add_argument("--plugin")
    parser.add_argument("group")
    parser.add_argument("rest", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    harness.TRVHOST = os.path.abspath(args.trvhost)
    harness.SERVICE = os.path.abspath(args.service)
    harness.CONTENT = os.path.abspath(args.content)
    harness.PLUGIN = os.path.abspath(args.plugin) if args.plugin else None
    module = importlib.import_module("test_" + args.group)
    program = unittest.main(module=module, argv=[sys.argv[0], "-v", *args.rest], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
