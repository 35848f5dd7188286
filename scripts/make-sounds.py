#!/usr/bin/env python3
"""Writes the app's interface sounds to resources/sounds: short tones made
here from sine waves, sweeps and a buzz, 16-bit mono PCM WAV at 22,050 Hz.
The file names keep the resource names and types the app asks for; the
content is WAV whatever the type says (see docs/DESIGN.md). The output is
the same on every run."""

import math
import pathlib
import struct
import sys
import wave

RATE = 22050


def envelope(i, count, attack=0.005, release=0.04):
    t = i / RATE
    rest = (count - i) / RATE
    return min(1.0, t / attack, rest / release)


def tone(parts):
    """parts: (seconds, frequency from, frequency to, level, shape)"""
    samples = []
    for seconds, start, end, level, shape in parts:
        count = int(seconds * RATE)
        phase = 0.0
        for i in range(count):
            frequency = start + (end - start) * i / count
            phase += 2 * math.pi * frequency / RATE
            if shape == "square":
                wave_value = 1.0 if math.sin(phase) >= 0 else -1.0
                wave_value *= 0.5 + 0.5 * math.sin(2 * math.pi * 30 * i / RATE)
            else:
                wave_value = math.sin(phase)
            decay = math.exp(-3.0 * i / count) if shape == "pluck" else 1.0
            samples.append(level * decay * envelope(i, count) * wave_value)
    return samples


SOUNDS = {
    # Two rising notes.
    "ui-sound-liked-new.aiff": [(0.09, 1046.5, 1046.5, 0.5, "pluck"), (0.16, 1318.5, 1318.5, 0.5, "pluck")],
    # A short tick.
    "ui-sound-tap.aif": [(0.04, 1800, 1200, 0.6, "pluck")],
    # A falling sweep.
    "ui-sound-whop.aiff": [(0.18, 620, 140, 0.6, "sine")],
    # A buzz that pulses.
    "ui-sound-burr.aiff": [(0.3, 95, 80, 0.35, "square")],
}


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else \
        pathlib.Path(__file__).resolve().parent.parent / "resources" / "sounds"
    out.mkdir(parents=True, exist_ok=True)
    for name, parts in SOUNDS.items():
        samples = tone(parts)
        frames = b"".join(struct.pack("<h", int(round(max(-1.0, min(1.0, s)) * 32767))) for s in samples)
        with wave.open(str(out / name), "wb") as file:
            file.setnchannels(1)
            file.setsampwidth(2)
            file.setframerate(RATE)
            file.writeframes(frames)


if __name__ == "__main__":
    main()
