#!/usr/bin/env python3
"""Synthesises the front end's two default sounds, deterministically:

  newmail.wav  the announcement at the end of a cycle that brought mail: three rising
               bell tones (a major arpeggio), about 0.9 s
  alarm.wav    the reminder every 15 s while unread mail waits: two soft, quick chimes,
               about 0.5 s

Mono, 16-bit, 22 050 Hz. Run it from anywhere; it writes beside itself:
    python3 frontend/sounds/make_sounds.py
"""

import math
import os
import struct
import wave

RATE = 22050


def bell(freq, start, length, gain):
    """A bell-like tone: a few inharmonic partials, quick attack, exponential decay."""
    partials = ((1.0, 1.0), (2.0, 0.35), (2.76, 0.18), (5.4, 0.06))
    out = []
    for n in range(int(length * RATE)):
        t = n / RATE
        attack = min(1.0, t / 0.006)
        decay = math.exp(-t * 5.5)
        v = sum(a * math.sin(2 * math.pi * freq * k * t) * math.exp(-t * 2.5 * k) for k, a in partials)
        out.append(gain * attack * decay * v)
    return start, out


def mix(total, notes):
    buf = [0.0] * int(total * RATE)
    for start, samples in notes:
        offset = int(start * RATE)
        for i, v in enumerate(samples):
            if offset + i < len(buf):
                buf[offset + i] += v
    # Fade the last 30 ms so the file ends in silence, then normalise to -3 dBFS.
    fade = int(0.03 * RATE)
    for i in range(fade):
        buf[-1 - i] *= i / fade
    peak = max(abs(v) for v in buf) or 1.0
    scale = 0.707 * 32767 / peak
    return [int(round(v * scale)) for v in buf]


def write(name, samples):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples))
    print(path, len(samples) / RATE, "s")


def main():
    # C6, E6, G6: a bright, friendly "you've got something".
    write("newmail.wav", mix(0.9, [bell(1046.5, 0.00, 0.9, 1.0),
                                   bell(1318.5, 0.12, 0.78, 0.9),
                                   bell(1568.0, 0.24, 0.66, 0.85)]))
    # Two quieter A5 chimes: noticeable, not startling, for a sound that repeats.
    write("alarm.wav", mix(0.5, [bell(880.0, 0.00, 0.5, 0.8),
                                 bell(880.0, 0.16, 0.34, 0.6)]))


if __name__ == "__main__":
    main()
