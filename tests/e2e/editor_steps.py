"""Steps for the editor scenarios: an X server of the test's own (Xvfb),
real input through xdotool, the window's pixels read with xwd, and the
host's offscreen screenshots (PNG) to compare them with."""

import os
import shutil
import struct
import subprocess
import tempfile
import time
import zlib

from audio_steps import reply


def tools_present():
    return all(shutil.which(t) for t in ("Xvfb", "xdotool", "xwd"))


class XServer:
    """Xvfb on the first free display number from `first`."""

    def __init__(self, first, size="800x600"):
        self.process = None
        for n in range(first, first + 50):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            self.display = ":%d" % n
            # -noreset: no restart (refusing connections) when the last client leaves.
            self.process = subprocess.Popen(["Xvfb", self.display, "-screen", "0", size + "x24", "-nolisten", "tcp",
                                             "-noreset"],
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if os.path.exists("/tmp/.X11-unix/X%d" % n):
                    return
                if self.process.poll() is not None:
                    break
                time.sleep(0.05)
            self.close()
        raise AssertionError("no Xvfb could start")

    def env(self):
        return {"DISPLAY": self.display}

    def run(self, *args):
        env = dict(os.environ, DISPLAY=self.display)
        return subprocess.run(list(args), env=env, check=True, capture_output=True, text=True).stdout

    def window(self, name="trvhost", seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                ids = self.run("xdotool", "search", "--name", name).split()
                if ids:
                    return ids[0]
            except subprocess.CalledProcessError:
                pass
            time.sleep(0.1)
        raise AssertionError("no window named %r on %s" % (name, self.display))

    def click(self, window, x, y):
        self.run("xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1")

    def type(self, text):
        self.run("xdotool", "type", "--delay", "20", text)

    def key(self, name):
        self.run("xdotool", "key", name)

    def pixels(self, window):
        """(width, height, rows of (r, g, b)) of the window as shown."""
        raw = subprocess.run(["xwd", "-silent", "-id", window], env=dict(os.environ, DISPLAY=self.display),
                             check=True, capture_output=True).stdout
        return read_xwd(raw)

    def close(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)
        self.process = None


def read_xwd(raw):
    """The pixels of a ZPixmap XWD dump of 24 or 32 bits a pixel."""
    fields = struct.unpack(">25I", raw[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    bits, line_bytes, ncolors = fields[11], fields[12], fields[19]
    byte_order = fields[7]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    data = raw[header_size + ncolors * 12:]
    step = bits // 8
    rows = []
    for y in range(height):
        line = data[y * line_bytes:(y + 1) * line_bytes]
        row = []
        for x in range(width):
            chunk = line[x * step:x * step + step]
            v = int.from_bytes(chunk, "little" if byte_order == 0 else "big")
            row.append(((v & red_mask) >> 16, (v & green_mask) >> 8, v & blue_mask))
        rows.append(row)
    return width, height, rows


def read_png(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 6), "RGBA8 expected"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4
    prev = bytearray(stride)
    rows = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * 4:x * 4 + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def editor_state(peer):
    """(page, popup text or None) from the `editor` command."""
    line = reply(peer, "editor", "editor: page")
    page = int(line.split()[2].rstrip(","))
    popup = line.split("popup ", 1)[1]
    return page, None if popup == "none" else popup.strip('"')


def wait_editor(peer, want, seconds=15):
    deadline = time.monotonic() + seconds
    while True:
        state = editor_state(peer)
        if want(state):
            return state
        if time.monotonic() > deadline:
            raise AssertionError("%s: editor never as wanted: %r\n%s" % (peer.name, state, peer.transcript()))
        time.sleep(0.2)


# The news line moves every 24 ms, so it may differ between the two.
MOVING = [(18, 47, 604, 65)]


def _differing(drawn, shown):
    n = 0
    for y, (a, b) in enumerate(zip(drawn[2], shown[2])):
        for x, (p, q) in enumerate(zip(a, b)):
            if p != q and not any(l <= x < r and t <= y < btm for l, t, r, btm in MOVING):
                n += 1
    return n


def shows_its_frame(server, window, peer, folder, name, seconds=5):
    """The window shows exactly the frame the plug-in drew: the host's
    screenshot and the window's pixels agree outside the moving news line
    (taken again while an idle repaints between the two). Returns the
    screenshot's path."""
    path = os.path.join(folder, name + ".png")
    deadline = time.monotonic() + seconds
    while True:
        reply(peer, "screenshot " + path, "screenshot: ")
        drawn = read_png(path)
        shown = server.pixels(window)
        differing = _differing(drawn, shown) if drawn[:2] == shown[:2] else -1
        if differing == 0:
            return path
        if time.monotonic() > deadline:
            raise AssertionError("%s: the window shows %d pixels other than the frame drawn (%s)" % (
                peer.name, differing, path))
        time.sleep(0.3)


__all__ = ["XServer", "editor_state", "read_png", "read_xwd", "shows_its_frame", "tools_present", "wait_editor"]
