"""Steps shared by the file-transfer scenarios: WAV files to send, the
`file` report, the pacing the sender computes, and one whole transfer."""

import os
import re
import struct
import time

from audio_steps import reply, setting

CHUNK = 2048
RECEIVED = "File Receive finished successfully."
SENT = "File Send: Transfer finished successfully."

_FILE = re.compile(r"^file: (send|receive) (.*) (\d+)/(\d+) bytes at (\d+(?:\.\d+)?) kbit/s, (.*)$")


def write_wav(path, data_bytes, seed=1):
    """A 16-bit stereo 48 kHz WAV whose data is `data_bytes` of noise (every
    byte value occurs, so a byte out of place shows)."""
    header = b"RIFF" + struct.pack("<I", 36 + data_bytes) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 2, 48000, 48000 * 4, 4, 16) + b"data" + struct.pack("<I", data_bytes)
    state = seed
    body = bytearray(data_bytes)
    for i in range(0, data_bytes, 4):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        body[i:i + 4] = struct.pack("<I", state)[:min(4, data_bytes - i)]
    with open(path, "wb") as f:
        f.write(header + bytes(body))
    return path


def file_report(peer):
    """{"send": (...), "receive": (...)}, each (name, done, size, rate,
    status) from the `file` command."""
    before = len(peer.output())
    reply(peer, "file", "file: receive ")
    report = {}
    for line in peer.output()[before:]:
        m = _FILE.match(line)
        if m:
            report[m.group(1)] = (m.group(2), int(m.group(3)), int(m.group(4)), float(m.group(5)), m.group(6))
    return report


def file_share(upstream, file_rate):
    """kbit/s the sender's pacing leaves the file, and the pause between
    its chunks in ms."""
    media = max(64, upstream - file_rate)
    share = max(32, upstream - media)
    pause = int(1000 / (share * 1000 * 0.125 * 0.75 / CHUNK))
    return share, min(400, max(1, pause))


def rates(peer, upstream, file_rate):
    """Sets the upstream and the file rate; the file share."""
    setting(peer, "upstream %d" % upstream)
    reply(peer, "file rate %d" % file_rate, "file: rate ")
    return file_share(upstream, file_rate)[0]


def wait_count(peer, text, count, seconds=10.0):
    """Waits until `text` is a whole status line `count` times."""
    deadline = time.monotonic() + seconds
    while peer.statuses().count(text) < count:
        if time.monotonic() > deadline:
            raise AssertionError("%s: %r not %d times within %.0f s\n%s" % (
                peer.name, text, count, seconds, peer.transcript()))
        time.sleep(0.05)


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def transfer(sender, receiver, path, seconds, during=None):
    """Sends `path`; waits for both sides to finish, calling during() every
    half second meanwhile. The sender's own rate (kbit/s) as last seen in
    its report while at least half was done."""
    finished = receiver.statuses().count(RECEIVED)
    sender.send("send-file " + path)
    rate = None
    deadline = time.monotonic() + seconds
    size = os.path.getsize(path)
    while receiver.statuses().count(RECEIVED) == finished:
        if time.monotonic() > deadline:
            raise AssertionError("no whole file within %d s: %r\n%s\n%s" % (
                seconds, file_report(receiver), sender.transcript(), receiver.transcript()))
        _, done, total, r, _ = file_report(sender)["send"]
        if total == size and done >= size // 2:
            rate = r
        if during:
            during()
        time.sleep(0.5)
    sender.expect(SENT, 10)
    return rate


__all__ = ["CHUNK", "RECEIVED", "SENT", "file_report", "file_share", "rates", "same_bytes", "transfer",
           "wait_count", "write_wav"]
