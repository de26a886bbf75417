"""Processes of an end-to-end run: the community service and plug-in peers
(trvhost in built-in mode), each a child process on loopback addresses.

A World owns a temporary folder (database, content, one settings folder per
peer), the service and every peer it started, and kills all of them when it
is closed. A Peer keeps the pipe to its standard input open, so commands can
be sent one at a time, and collects what it prints on a reader thread.
"""

import ctypes
import http.client
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

# Programs under test; set by the runner from its command line.
TRVHOST = None
SERVICE = None
CONTENT = None
# The plug-in library, for the scenarios in a real host (None: not given).
PLUGIN = None

STATUS = "status: "
LOGIN_OK = "Welcome. You are logged in to the Tarvonet."


def _die_with_parent():
    """Child-side start hook: the child is killed when the test runner dies
    (for example at a CTest time-out), so no service outlives a run."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def free_tcp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def stop_process(process, grace_seconds):
    """Closes stdin, waits a little, then kills. Never raises."""
    if process.poll() is None:
        try:
            if process.stdin and not process.stdin.closed:
                process.stdin.close()
        except OSError:
            pass
        try:
            process.wait(grace_seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(5)


class Peer:
    """One trvhost process with its own address and settings folder."""

    def __init__(self, name, address, args, env, log_path):
        self.name = name
        self.address = address
        self._log_path = log_path
        self._stderr = open(log_path, "wb")
        self.process = subprocess.Popen(
            [TRVHOST, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=self._stderr, env=env, text=True, bufsize=1, preexec_fn=_die_with_parent)
        self._lines = []
        self._changed = threading.Condition()
        self._cursor = 0  # first status line the next expect looks at
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stdout:
            with self._changed:
                self._lines.append(line.rstrip("\n"))
                self._changed.notify_all()
        with self._changed:
            self._changed.notify_all()

    def send(self, command):
        try:
            self.process.stdin.write(command + "\n")
            self.process.stdin.flush()
        except OSError as e:
            raise AssertionError("%s: cannot send %r (%s)\n%s" % (
                self.name, command, e, self.transcript()))

    def output(self):
        with self._changed:
            return list(self._lines)

    def statuses(self):
        return [l[len(STATUS):] for l in self.output() if l.startswith(STATUS)]

    def errors(self):
        self._stderr.flush()
        with open(self._log_path, "r", errors="replace") as f:
            return f.read()

    def transcript(self):
        return "--- %s stdout ---\n%s\n--- %s stderr ---\n%s" % (
            self.name, "\n".join(self.output()), self.name, self.errors())

    def expect(self, text, seconds=10.0):
        """The first status line holding `text` after the previous match."""
        deadline = time.monotonic() + seconds
        with self._changed:
            while True:
                statuses = [l[len(STATUS):] for l in self._lines if l.startswith(STATUS)]
                for i in range(self._cursor, len(statuses)):
                    if text in statuses[i]:
                        self._cursor = i + 1
                        return statuses[i]
                left = deadline - time.monotonic()
                if left <= 0 or (self.process.poll() is not None and not self._reader.is_alive()):
                    raise AssertionError("%s: no status line holding %r within %.1f s\n%s" % (
                        self.name, text, seconds, self.transcript()))
                self._changed.wait(min(left, 0.1))

    def expect_sequence(self, texts, seconds=10.0):
        """The lines in this order, each the very next status line."""
        got = []
        for text in texts:
            line = self.expect(text, seconds)
            got.append(line)
        statuses = self.statuses()
        end = self._cursor
        window = statuses[end - len(texts):end]
        if window != got:
            raise AssertionError("%s: %r are not consecutive status lines: %r\n%s" % (
                self.name, texts, window, self.transcript()))
        return got

    def has_status(self, text):
        return any(text in s for s in self.statuses())

    def finish(self, seconds=10.0):
        """Closes stdin and returns the exit status."""
        try:
            self.process.stdin.close()
        except OSError:
            pass
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            raise AssertionError("%s did not end within %.1f s\n%s" % (
                self.name, seconds, self.transcript()))

    def close(self):
        stop_process(self.process, 5)
        self._reader.join(5)
        for pipe in (self.process.stdin, self.process.stdout):
            try:
                pipe.close()
            except OSError:
                pass
        self._stderr.close()


class Service:
    """The community service on 127.0.0.1 with a database in the world folder."""

    def __init__(self, folder, port, session_timeout=None):
        self.folder = folder
        self.port = port
        self.database = os.path.join(folder, "service.db")
        self.content = os.path.join(folder, "content")
        if not os.path.isdir(self.content):
            shutil.copytree(CONTENT, self.content)
        self.session_timeout = session_timeout
        self.process = None
        self._starts = 0

    def start(self):
        self._starts += 1
        args = [SERVICE, "serve", "--listen", "127.0.0.1:%d" % self.port,
                "--db", self.database, "--content", self.content]
        if self.session_timeout:
            args += ["--session-timeout", str(self.session_timeout)]
        log_path = os.path.join(self.folder, "service-%d.log" % self._starts)
        with open(log_path, "wb") as log:
            self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log,
                                            stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
        if not wait_for_port(self.port, 10):
            with open(log_path, "r", errors="replace") as log:
                raise AssertionError("the service did not listen on port %d:\n%s" % (
                    self.port, log.read()))

    def stop(self):
        if self.process:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
            self.process = None

    def restart(self):
        """A new service process on the same port: same accounts, no sessions."""
        self.stop()
        self.start()

    def login_from(self, address, name, password):
        """A login of the account from `address` the way a plug-in sends it,
        bypassing the peer there: the service starts a new session at that
        address and reads the account's partner pairs afresh."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10,
                                                source_address=(address, 0))
        try:
            body = "action=login&username=%s&password=%s&counter=58116&extra=0" % (name, password)
            connection.request("POST", "/sys/interface/trv/index.php4", body,
                               {"Content-Type": "application/x-www-form-urlencoded"})
            reply = connection.getresponse().read().decode("latin-1")
        finally:
            connection.close()
        if "1001" not in reply:
            raise AssertionError("login of %s from %s refused: %r" % (name, address, reply))

    def admin(self, *words):
        result = subprocess.run([SERVICE, "--db", self.database, *words], stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise AssertionError("admin %s failed: %s%s" % (" ".join(words), result.stdout,
                                                             result.stderr))
        return result.stdout


class World:
    """A temporary folder, a service and peers; close() ends all of them."""

    def __init__(self, net, session_timeout=None):
        # Each test group has its own 127.0.<net>.x addresses, so groups can
        # run side by side without their peers' UDP ports meeting.
        self.net = net
        self.folder = tempfile.mkdtemp(prefix="trv-e2e-")
        self.port = free_tcp_port()
        self.service = Service(self.folder, self.port, session_timeout)
        self.peers = []
        self._next_host = 2

    def start_service(self, *accounts):
        """Adds the (name, password) accounts (the database must exist
        before the service starts), then starts it."""
        for name, password in accounts:
            self.service.admin("user", "add", name, password)
        self.service.start()
        return self.service

    def peer(self, name, extra_args=(), networked=True, extra_env=None):
        address = "127.0.%d.%d" % (self.net, self._next_host)
        self._next_host += 1
        settings = os.path.join(self.folder, "settings-" + name)
        os.makedirs(settings, exist_ok=True)
        env = dict(os.environ)
        env["XDG_CONFIG_HOME"] = settings
        env.update(extra_env or {})
        args = ["--address", address]
        if networked:
            args += ["--service", "127.0.0.1:%d" % self.port]
        args += list(extra_args)
        peer = Peer(name, address, args, env, os.path.join(self.folder, name + ".stderr"))
        self.peers.append(peer)
        return peer

    def login(self, peer, name, password):
        peer.send("login %s %s" % (name, password))
        peer.expect(LOGIN_OK, 15)

    def transcripts(self):
        return "\n".join(p.transcript() for p in self.peers)

    def close(self):
        # End of input first for all, so the peers log out side by side.
        for p in self.peers:
            try:
                p.process.stdin.close()
            except OSError:
                pass
        for p in self.peers:
            p.close()
        self.service.stop()
        shutil.rmtree(self.folder, ignore_errors=True)


def run_host(args, stdin_text="", seconds=20, env_folder=None):
    """A trvhost run to its end: (exit status, stdout, stderr)."""
    folder = env_folder or tempfile.mkdtemp(prefix="trv-e2e-host-")
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = folder
    try:
        result = subprocess.run([TRVHOST, *args], input=stdin_text, capture_output=True, text=True,
                                env=env, timeout=seconds)
        return result.returncode, result.stdout, result.stderr
    finally:
        if env_folder is None:
            shutil.rmtree(folder, ignore_errors=True)
