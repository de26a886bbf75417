"""Steps of the video scenarios: the test host's video and snapshot commands
with their answers parsed, a reader for the PNG files snapshot writes
(8-bit RGB, not interlaced, as libpng writes them), and picture
comparisons on luma."""

import math
import re
import struct
import time
import zlib

from audio_steps import reply
from session_steps import state

WIDTH = 176
HEIGHT = 144

_CAMERA = re.compile(r"^camera: (\d+)x(\d+), (\d+) frames$")
_VIDEO = re.compile(r"^video: (\S+) sent (\d+) pictures \((\d+) quantiser, (\d+) bytes last, (\d+) fps\), "
                    r"received (\d+), decoded (\d+), dropped (\d+)$")
_VIDEO_FIELDS = ("sent", "quantiser", "bytes", "fps", "received", "decoded", "dropped")


def video(peer):
    """The `video` report: {"camera": (width, height, frames), "sessions":
    {partner: {"sent", "quantiser", "bytes", "fps", "received", "decoded",
    "dropped"}}, "lines": the lines as printed}."""
    before = len(peer.output())
    peer.send("video")
    state(peer)  # answers after every line of the video command
    lines = [l for l in peer.output()[before:] if l.startswith(("camera: ", "video: "))]
    if not lines:
        raise AssertionError("%s: no camera line\n%s" % (peer.name, peer.transcript()))
    m = _CAMERA.match(lines[0])
    if not m:
        raise AssertionError("%s: odd camera line %r" % (peer.name, lines[0]))
    report = {"camera": tuple(int(g) for g in m.groups()), "sessions": {}, "lines": lines}
    for line in lines[1:]:
        m = _VIDEO.match(line)
        if not m:
            raise AssertionError("%s: odd video line %r" % (peer.name, line))
        report["sessions"][m.group(1)] = dict(zip(_VIDEO_FIELDS, (int(g) for g in m.groups()[1:])))
    return report


def session_video(peer, partner):
    """The video numbers of the session with `partner`."""
    report = video(peer)
    if partner not in report["sessions"]:
        raise AssertionError("%s: no video line for %s: %r" % (peer.name, partner, report))
    return report["sessions"][partner]


def wait_video(peer, partner, condition, seconds=10.0, what="as wanted"):
    """Asks for the video report until condition(numbers) holds."""
    deadline = time.monotonic() + seconds
    while True:
        numbers = session_video(peer, partner)
        if condition(numbers):
            return numbers
        if time.monotonic() > deadline:
            raise AssertionError("%s: video of %s never %s: %r\n%s" % (
                peer.name, partner, what, numbers, peer.transcript()))
        time.sleep(0.1)


def snapshot(peer, which, path):
    """`snapshot local|partner PATH`; the picture as read back."""
    line = reply(peer, "snapshot %s %s" % (which, path), "snapshot: ")
    if not line.endswith(" into " + path):
        raise AssertionError("%s: odd snapshot line %r" % (peer.name, line))
    return read_png(path)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(path):
    """The pixels of an 8-bit RGB PNG without interlace: (width, height,
    bytes of the rows, three a pixel). Raises ValueError for anything else."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s: not a PNG file" % path)
    at, header, idat = 8, None, []
    while at + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if len(body) != length or at + 12 + length > len(data):
            raise ValueError("%s: chunk %r runs past the end" % (path, kind))
        crc = struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0]
        if zlib.crc32(kind + body) != crc:
            raise ValueError("%s: chunk %r has a bad CRC" % (path, kind))
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    if header is None:
        raise ValueError("%s: no IHDR" % path)
    width, height, depth, colour, compression, filtering, interlace = header
    if (depth, colour, compression, filtering, interlace) != (8, 2, 0, 0, 0):
        raise ValueError("%s: not 8-bit RGB without interlace: %r" % (path, header))
    raw = zlib.decompress(b"".join(idat))
    row_bytes = width * 3
    if len(raw) != height * (row_bytes + 1):
        raise ValueError("%s: %d bytes of rows for %dx%d" % (path, len(raw), width, height))
    out = bytearray()
    previous = bytearray(row_bytes)
    for y in range(height):
        start = y * (row_bytes + 1)
        kind = raw[start]
        row = bytearray(raw[start + 1:start + 1 + row_bytes])
        if kind == 1:
            for i in range(3, row_bytes):
                row[i] = (row[i] + row[i - 3]) & 0xFF
        elif kind == 2:
            for i in range(row_bytes):
                row[i] = (row[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(row_bytes):
                left = row[i - 3] if i >= 3 else 0
                row[i] = (row[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(row_bytes):
                left = row[i - 3] if i >= 3 else 0
                upper_left = previous[i - 3] if i >= 3 else 0
                row[i] = (row[i] + _paeth(left, previous[i], upper_left)) & 0xFF
        elif kind != 0:
            raise ValueError("%s: row %d has filter %d" % (path, y, kind))
        out += row
        previous = row
    return width, height, bytes(out)


def luma(picture):
    """BT.601 luma of every pixel."""
    _, _, rgb = picture
    return [0.299 * rgb[i] + 0.587 * rgb[i + 1] + 0.114 * rgb[i + 2] for i in range(0, len(rgb), 3)]


def psnr(a, b):
    """Peak signal-to-noise ratio of two pictures' luma in dB (inf when equal)."""
    if a[:2] != b[:2]:
        raise ValueError("pictures of %dx%d and %dx%d" % (a[0], a[1], b[0], b[1]))
    ya, yb = luma(a), luma(b)
    mse = sum((p - q) ** 2 for p, q in zip(ya, yb)) / len(ya)
    return math.inf if mse == 0 else 10.0 * math.log10(255.0 ** 2 / mse)


__all__ = ["HEIGHT", "WIDTH", "psnr", "read_png", "session_video", "snapshot", "video", "wait_video"]
