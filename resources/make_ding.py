#!/usr/bin/env python3
"""Synthesises Domora's "DING" notification sound as resources/DING.wav.

Run from anywhere: python3 resources/make_ding.py
The result is kept in the source tree, so building never needs Python.

The sound is a small bell: a 1568 Hz tone (the G two octaves above the
treble staff) with a few quieter overtones that die away faster than the
fundamental, so the strike is bright and the tail is a clean pure note. A
3 ms rise avoids a click at the start and a short fade brings the tail to
exact silence. Written as 16-bit mono PCM at 22050 samples a second; the
output depends only on this script, so re-running it reproduces the file.
"""

import math
import os
import struct
import wave

RATE = 22050
LENGTH = 0.42          # seconds
FUNDAMENTAL = 1568.0   # Hz
PEAK = 0.70            # of full scale

# (frequency ratio, relative loudness, decay time constant in seconds)
PARTIALS = [
    (1.000, 1.00, 0.110),
    (2.000, 0.32, 0.060),
    (2.756, 0.14, 0.035),   # slightly off the harmonic series, for a bell-like colour
    (4.070, 0.06, 0.020),
]
RISE = 0.003
FADE = 0.040


def sample(t):
    value = 0.0
    for ratio, level, decay in PARTIALS:
        value += level * math.exp(-t / decay) * math.sin(2 * math.pi * FUNDAMENTAL * ratio * t)
    envelope = min(1.0, t / RISE)
    remaining = LENGTH - t
    if remaining < FADE:
        envelope *= 0.5 - 0.5 * math.cos(math.pi * max(0.0, remaining) / FADE)
    return value * envelope


def main():
    count = int(RATE * LENGTH)
    raw = [sample(i / RATE) for i in range(count)]
    scale = PEAK / max(abs(v) for v in raw)
    frames = b"".join(struct.pack("<h", int(round(v * scale * 32767))) for v in raw)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "DING.wav")
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


if __name__ == "__main__":
    main()
