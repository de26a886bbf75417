"""The command interface of trvhost on its own: no service, one peer."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
from harness import run_host

WELCOME = "Welcome to Tarvolink version 1!"
ENTER = "Enter user name and password to Login."
COMMAND_FAILED = 3


def lines_with(prefix, text):
    return [l[len(prefix):] for l in text.splitlines() if l.startswith(prefix)]


class HostCommands(unittest.TestCase):
    def test_every_status_line_is_echoed_once_in_posting_order(self):
        status, out, err = run_host(["--commands"], "sleep 200\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(lines_with("status: ", out), [WELCOME, ENTER])

    def test_wait_finds_lines_posted_before_it_started(self):
        status, out, err = run_host(["--commands"], "sleep 300\nwait Enter 2\nquit\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(lines_with("matched: ", out), [ENTER])

    def test_wait_looks_only_after_the_previous_match(self):
        # The welcome line comes before the matched one, so the second wait
        # must not see it.
        status, out, err = run_host(["--commands"], "wait Enter 2\nwait Welcome 0.3\n")
        self.assertEqual(status, COMMAND_FAILED, out)
        self.assertIn('no status line holding "Welcome" within 0.3 s', err)

    def test_successive_waits_match_successive_lines(self):
        status, out, err = run_host(["--commands"], "wait Tarvolink 2\nwait Login 2\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(lines_with("matched: ", out), [WELCOME, ENTER])

    def test_wait_times_out_with_an_error(self):
        started = time.monotonic()
        status, out, err = run_host(["--commands"], 'wait "never posted" 0.5\nmessages\n')
        self.assertEqual(status, COMMAND_FAILED)
        self.assertLess(time.monotonic() - started, 10)
        self.assertIn("line 1: wait:", err)
        self.assertEqual(lines_with("message: ", out), [], "commands after a failure must not run")

    def test_messages_lists_the_log_newest_first(self):
        status, out, err = run_host(["--commands"], "messages\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(lines_with("message: ", out), ["0 " + ENTER, "1 " + WELCOME])

    def test_unknown_command_fails_the_run(self):
        status, out, err = run_host(["--commands"], "sleep 10\nfrobnicate now\nquit\n")
        self.assertEqual(status, COMMAND_FAILED)
        self.assertIn('line 2: unknown command "frobnicate"', err)

    def test_bad_arguments_fail_the_run(self):
        # The argument checks of every command are in the host's unit tests;
        # here the run ends with them, before the next line.
        for line, reason in {"policy 4\nquit": "line 1: policy: wants a policy from 0 to 3",
                             "sleep 1\nlogin alice\nquit": "line 2: usage: login NAME PASSWORD",
                             'wait "open quote\nquit': "a double quote is not closed"}.items():
            with self.subTest(line=line):
                status, out, err = run_host(["--commands"], line + "\n")
                self.assertEqual(status, COMMAND_FAILED, out)
                self.assertIn(reason, err)

    def test_blank_and_comment_lines_are_skipped(self):
        status, out, err = run_host(["--commands"], "\n   \n# a comment\n\twait Enter 2\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(lines_with("matched: ", out), [ENTER])

    def test_quit_ends_the_run_before_later_lines(self):
        status, out, err = run_host(["--commands"], "quit\nfrobnicate\n")
        self.assertEqual(status, 0, err)

    def test_a_policy_is_kept_in_the_settings(self):
        folder = tempfile.mkdtemp(prefix="trv-e2e-settings-")
        try:
            status, out, err = run_host(["--commands"], "policy 3\n", env_folder=folder)
            self.assertEqual(status, 0, err)
            with open(os.path.join(folder, "TVN", "trv")) as f:
                self.assertIn("invitationPolicy=3", f.read())
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_script_file_runs_its_commands(self):
        with tempfile.NamedTemporaryFile("w", suffix=".trv", delete=False) as script:
            script.write("# greet\nwait Welcome 2\nmessages\n")
        try:
            status, out, err = run_host(["--script", script.name])
        finally:
            os.unlink(script.name)
        self.assertEqual(status, 0, err)
        self.assertEqual(lines_with("matched: ", out), [WELCOME])
        self.assertEqual(len(lines_with("message: ", out)), 2)

    def test_missing_script_file_is_an_error(self):
        status, out, err = run_host(["--script", "/nonexistent/commands.trv"])
        self.assertEqual(status, 1)
        self.assertIn("cannot read /nonexistent/commands.trv", err)

    def test_seconds_end_a_run_whose_input_stays_open(self):
        folder = tempfile.mkdtemp(prefix="trv-e2e-host-")
        env = dict(os.environ, XDG_CONFIG_HOME=folder)
        # stdin stays an open pipe with nothing written to it.
        process = subprocess.Popen([harness.TRVHOST, "--commands", "--seconds", "1"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, env=env, text=True)
        try:
            self.assertEqual(process.wait(10), 0)
            self.assertIn("run: ", process.stdout.read())
        finally:
            harness.stop_process(process, 1)
            process.stdin.close()
            process.stdout.close()
            shutil.rmtree(folder, ignore_errors=True)

    def test_seconds_end_a_long_wait(self):
        started = time.monotonic()
        status, out, err = run_host(["--commands", "--seconds", "1"], 'wait "never posted" 30\n')
        self.assertEqual(status, 0, err)
        self.assertLess(time.monotonic() - started, 10)


if __name__ == "__main__":
    unittest.main()
