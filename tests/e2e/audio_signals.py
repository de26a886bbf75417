"""Test signals and their analysis for the audio scenarios, the demo and the
latency benchmark, with the standard library only: WAV files in and out,
synthesised music and tones, levels, tone amplitudes, the lag of a
recording against what was played, and the note sequence of a chime.

Signals are array('d') of samples, mono unless a function says otherwise.
"""

import array
import math
import operator
import random
import struct
import sys
import wave

RATE = 48000


# --- WAV files -------------------------------------------------------------

class Wav:
    def __init__(self, rate, channels):
        self.rate = rate
        self.channels = channels  # one array('d') per channel

    @property
    def frames(self):
        return len(self.channels[0]) if self.channels else 0

    def mono(self):
        """The average of the channels."""
        if len(self.channels) == 1:
            return self.channels[0]
        n = len(self.channels)
        return array.array("d", (sum(s) / n for s in zip(*self.channels)))


_PCM = 1
_FLOAT = 3
_EXTENSIBLE = 0xFFFE
_MAX_WAV_BYTES = 1 << 30


def read_wav(path):
    """Reads 16-, 24- or 32-bit PCM or 32-bit float WAV (what trvhost writes)."""
    with open(path, "rb") as f:
        data = f.read(_MAX_WAV_BYTES + 1)
    if len(data) > _MAX_WAV_BYTES:
        raise ValueError("%s is larger than 1 GiB" % path)
    if len(data) < 12 or data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("%s is not a RIFF WAVE file" % path)
    fmt = None
    samples = None
    pos = 12
    while pos + 8 <= len(data):
        chunk_id = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk_id == b"fmt ":
            if len(body) < 16:
                raise ValueError("%s: short fmt chunk" % path)
            fmt = struct.unpack_from("<HHIIHH", body, 0)
            if fmt[0] == _EXTENSIBLE:
                if len(body) < 26:
                    raise ValueError("%s: short extensible fmt chunk" % path)
                fmt = (struct.unpack_from("<H", body, 24)[0],) + fmt[1:]
        elif chunk_id == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError("%s has no fmt or data chunk" % path)
    kind, channels, rate, _, _, bits = fmt
    if channels < 1 or channels > 64:
        raise ValueError("%s: %d channels" % (path, channels))
    if kind == _FLOAT and bits == 32:
        values = array.array("f")
        values.frombytes(samples[:len(samples) // 4 * 4])
        if sys.byteorder == "big":
            values.byteswap()
        values = array.array("d", values)
    elif kind == _PCM and bits == 16:
        raw = array.array("h")
        raw.frombytes(samples[:len(samples) // 2 * 2])
        if sys.byteorder == "big":
            raw.byteswap()
        values = array.array("d", (v / 32768.0 for v in raw))
    elif kind == _PCM and bits == 32:
        raw = array.array("i")
        raw.frombytes(samples[:len(samples) // 4 * 4])
        if sys.byteorder == "big":
            raw.byteswap()
        values = array.array("d", (v / 2147483648.0 for v in raw))
    elif kind == _PCM and bits == 24:
        n = len(samples) // 3
        values = array.array("d", (
            int.from_bytes(samples[3 * i:3 * i + 3], "little", signed=True) / 8388608.0
            for i in range(n)))
    else:
        raise ValueError("%s: format %d with %d bits is not read here" % (path, kind, bits))
    frames = len(values) // channels
    return Wav(rate, [values[c:frames * channels:channels] for c in range(channels)])


def write_wav(path, channels, rate=RATE):
    """Writes one or more equally long channels as 16-bit PCM."""
    frames = len(channels[0])
    interleaved = array.array("h", bytes(2 * frames * len(channels)))
    for c, samples in enumerate(channels):
        interleaved[c::len(channels)] = array.array(
            "h", (max(-32767, min(32767, int(round(s * 32767.0)))) for s in samples))
    if sys.byteorder == "big":
        interleaved.byteswap()
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(interleaved.tobytes())


# --- Synthesis ---------------------------------------------------------------

def silence(seconds, rate=RATE):
    return array.array("d", bytes(8 * int(round(seconds * rate))))


def sine(frequency, seconds, amplitude=0.25, rate=RATE):
    w = 2.0 * math.pi * frequency / rate
    return array.array("d", (amplitude * math.sin(w * n) for n in range(int(round(seconds * rate)))))


def _add_note(target, start, frequency, seconds, amplitude, rate, harmonics=(1.0, 0.5, 0.25),
              decay=6.0):
    """A plucked note: a few harmonics under a fast attack and an
    exponential decay, added into `target` from frame `start`."""
    n = min(int(seconds * rate), len(target) - start)
    if n <= 0:
        return
    attack = max(1, int(0.004 * rate))
    k = -decay / rate
    w = 2.0 * math.pi * frequency / rate
    for i in range(n):
        env = amplitude * math.exp(k * i) * (i / attack if i < attack else 1.0)
        s = 0.0
        for h, a in enumerate(harmonics, 1):
            s += a * math.sin(w * h * i)
        target[start + i] += env * s


def _add_kick(target, start, amplitude, rate):
    n = min(int(0.18 * rate), len(target) - start)
    phase = 0.0
    for i in range(n):
        t = i / rate
        phase += 2.0 * math.pi * (50.0 + 90.0 * math.exp(-t * 30.0)) / rate
        target[start + i] += amplitude * math.exp(-t * 18.0) * math.sin(phase)


def _add_hat(target, start, amplitude, rate, rng):
    n = min(int(0.05 * rate), len(target) - start)
    previous = 0.0
    for i in range(n):
        white = rng.uniform(-1.0, 1.0)
        target[start + i] += amplitude * math.exp(-i / rate * 70.0) * (white - previous)
        previous = white


def _midi(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


# Two pieces: a chord progression as an arpeggio over bass, kick and hi-hat.
# Chords are MIDI notes, the pattern indexes into the chord per eighth note.
PIECES = {
    "a": {"tempo": 112.0, "chords": [(60, 64, 67), (57, 60, 64), (53, 57, 60), (55, 59, 62)],
          "pattern": [0, 1, 2, 1, 0, 1, 2, 3], "seed": 11, "pan": -0.3},
    "b": {"tempo": 96.0, "chords": [(62, 65, 69), (58, 62, 65), (53, 57, 60), (60, 64, 67)],
          "pattern": [2, 1, 0, 1, 3, 2, 1, 0], "seed": 23, "pan": 0.3},
}


def music(piece, seconds, rate=RATE):
    """A stereo piece ("a" or "b"): (left, right)."""
    p = PIECES[piece]
    rng = random.Random(p["seed"])
    lead = silence(seconds, rate)
    rhythm = silence(seconds, rate)
    beat = 60.0 / p["tempo"]
    eighth = beat / 2.0
    frames = len(lead)
    step = 0
    while True:
        start = int(round(step * eighth * rate))
        if start >= frames:
            break
        bar = step // 8
        chord = p["chords"][bar % len(p["chords"])]
        index = p["pattern"][step % 8]
        note = chord[index % 3] + (12 if index >= 3 else 0) + 12
        _add_note(lead, start, _midi(note), eighth * 1.8, 0.16, rate)
        if step % 4 == 0:
            _add_note(rhythm, start, _midi(chord[0] - 12), beat * 1.9, 0.22, rate,
                      harmonics=(1.0, 0.35), decay=2.5)
        if step % 2 == 0:
            _add_kick(rhythm, start, 0.35, rate)
        else:
            _add_hat(rhythm, start, 0.06, rate, rng)
        step += 1
    gain_left = math.sqrt(0.5 * (1.0 - p["pan"]))
    gain_right = math.sqrt(0.5 * (1.0 + p["pan"]))
    left = array.array("d", (r + gain_left * l for l, r in zip(lead, rhythm)))
    right = array.array("d", (r + gain_right * l for l, r in zip(lead, rhythm)))
    return left, right


def mix(*signals):
    n = max(len(s) for s in signals)
    out = array.array("d", bytes(8 * n))
    for s in signals:
        for i, v in enumerate(s):
            out[i] += v
    return out


# --- Analysis ---------------------------------------------------------------

def energy(x):
    return math.fsum(map(operator.mul, x, x))


def rms(x):
    return math.sqrt(energy(x) / len(x)) if len(x) else 0.0


def decibels(level):
    return 20.0 * math.log10(level) if level > 0.0 else -math.inf


def segment(x, start_seconds, seconds, rate=RATE):
    a = max(0, int(start_seconds * rate))
    return x[a:a + int(seconds * rate)]


TONE_WINDOW = 4096  # frames: about 85 ms at 48 kHz


def _projection(x, frequency, rate):
    n = len(x)
    w = 2.0 * math.pi * frequency / rate
    hann = [0.5 - 0.5 * math.cos(2.0 * math.pi * i / (n - 1)) for i in range(n)]
    xs = list(map(operator.mul, x, hann))
    re = math.fsum(map(operator.mul, xs, (math.cos(w * i) for i in range(n))))
    im = math.fsum(map(operator.mul, xs, (math.sin(w * i) for i in range(n))))
    return 2.0 * math.hypot(re, im) / math.fsum(hann)


def tone_amplitude(x, frequency, rate=RATE):
    """The amplitude of the sine at `frequency` in x (Hann-windowed
    projections, so tones a few bins away do not leak in). A long signal is
    measured in windows of TONE_WINDOW frames and the median taken: a
    drop-out shifts the tone's phase, which would cancel part of one
    projection over the whole signal, but spoils only the windows it falls
    in."""
    n = len(x)
    if n < 2:
        return 0.0
    if n < 3 * TONE_WINDOW:
        return _projection(x, frequency, rate)
    levels = sorted(_projection(x[i:i + TONE_WINDOW], frequency, rate)
                    for i in range(0, n - TONE_WINDOW + 1, TONE_WINDOW // 2))
    return levels[len(levels) // 2]


def correlation(a, b):
    """Normalised correlation of two equally long signals (no mean removed:
    audio has none)."""
    n = min(len(a), len(b))
    a, b = a[:n], b[:n]
    den = math.sqrt(energy(a) * energy(b))
    return math.fsum(map(operator.mul, a, b)) / den if den > 0.0 else 0.0


def envelope(x, hop):
    """Root mean square per hop of frames."""
    return array.array("d", (rms(x[i:i + hop]) for i in range(0, len(x) - hop + 1, hop)))


def _centred(x):
    mean = math.fsum(x) / len(x) if len(x) else 0.0
    return array.array("d", (v - mean for v in x))


def _best_match(probe, signal, lags):
    """The lag among `lags` (ascending, from 0) at which signal[lag:] best
    matches probe, and its normalised correlation; the window energies come
    from a running sum, the probe's once."""
    n = len(probe)
    probe_energy = sum(map(operator.mul, probe, probe))
    squares = [0.0]
    for v in signal:
        squares.append(squares[-1] + v * v)
    best, best_score = None, -2.0
    for lag in lags:
        if lag + n > len(signal):
            break
        den = math.sqrt(probe_energy * max(0.0, squares[lag + n] - squares[lag]))
        if den <= 0.0:
            continue
        score = sum(map(operator.mul, probe, signal[lag:lag + n])) / den
        if score > best_score:
            best, best_score = lag, score
    return best, best_score


def find_lag(reference, recording, max_lag, hop=48):
    """The lag in frames (0..max_lag) at which `recording` best matches
    `reference` (recording[i + lag] ~ reference[i]), and the correlation
    there over the whole overlap: first the envelopes hop by hop, then
    every frame around the best envelope lag."""
    env_rec = _centred(envelope(recording, hop))
    # As much of the reference as every lag up to max_lag has room for.
    room = max(2, len(env_rec) - max_lag // hop)
    env_ref = _centred(envelope(reference[:room * hop], hop))
    coarse, _ = _best_match(env_ref, env_rec, range(0, max_lag // hop + 1))
    if coarse is None:
        return 0, 0.0
    # Fine search on the most energetic half second of the reference.
    window = min(len(reference), RATE // 2)
    loudest, loudest_energy = 0, -1.0
    for start in range(0, max(1, len(reference) - window), window // 2):
        e = energy(reference[start:start + window])
        if e > loudest_energy:
            loudest, loudest_energy = start, e
    probe = reference[loudest:loudest + window]
    first = max(0, (coarse - 2) * hop)
    fine, _ = _best_match(probe, recording[loudest:],
                          range(first, min(max_lag, (coarse + 2) * hop) + 1))
    lag = coarse * hop if fine is None else fine
    overlap = min(len(reference), len(recording) - lag)
    if overlap <= 0:
        return lag, 0.0
    return lag, correlation(reference[:overlap], recording[lag:lag + overlap])


def window_matches(reference, recording, lag, window=RATE // 2, slack=2048):
    """The reference window by window against the recording near `lag`:
    (start frame, lag, correlation) per window, each window with its own
    best lag within `slack` frames of `lag`, so that a drop-out, which
    shifts what follows by a block or more, costs one window only."""
    out = []
    for start in range(0, len(reference) - window + 1, window):
        low = max(0, start + lag - slack)
        piece = recording[low:start + lag + slack + window]
        if len(piece) < window:
            break
        found, score = find_lag(reference[start:start + window], piece, len(piece) - window)
        out.append((start, low + found - start, score))
    return out


def note_sequence(x, candidates, rate=RATE, window_seconds=0.06, hop_seconds=0.01,
                  floor_db=-30.0, min_hops=3):
    """The notes of a melody in x: for every window louder than floor_db
    under the loudest one, the candidate frequency with the largest
    amplitude; runs of one candidate make a note. Returns (frequency,
    start seconds, seconds) per note, runs shorter than min_hops left out."""
    window = int(window_seconds * rate)
    hop = int(hop_seconds * rate)
    hann = [0.5 - 0.5 * math.cos(2.0 * math.pi * i / (window - 1)) for i in range(window)]
    tables = []
    for f in candidates:
        w = 2.0 * math.pi * f / rate
        tables.append(([hann[i] * math.cos(w * i) for i in range(window)],
                       [hann[i] * math.sin(w * i) for i in range(window)]))
    starts = range(0, len(x) - window + 1, hop)
    levels = [rms(x[s:s + window]) for s in starts]
    loudest = max(levels) if levels else 0.0
    if loudest <= 0.0:
        return []
    limit = loudest * 10.0 ** (floor_db / 20.0)
    labels = []
    for s, level in zip(starts, levels):
        if level < limit:
            labels.append(None)
            continue
        piece = x[s:s + window]
        amplitudes = [math.hypot(math.fsum(map(operator.mul, piece, c)),
                                 math.fsum(map(operator.mul, piece, si))) for c, si in tables]
        labels.append(candidates[amplitudes.index(max(amplitudes))])
    notes = []
    i = 0
    while i < len(labels):
        j = i
        while j < len(labels) and labels[j] == labels[i]:
            j += 1
        if labels[i] is not None and j - i >= min_hops:
            if notes and notes[-1][0] == labels[i]:
                f, start, _ = notes[-1]
                notes[-1] = (f, start, (j - 1) * hop_seconds + window_seconds - start)
            else:
                notes.append((labels[i], i * hop_seconds, (j - i - 1) * hop_seconds + window_seconds))
        i = j
    return notes
