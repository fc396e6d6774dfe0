#!/usr/bin/env python3
"""Draws the waveform of a 16-bit PCM WAV file (its first channel) as a PNG, for looking at
sounds next to `sox FILE -n spectrogram`:
    scripts/wave_plot.py IN.wav OUT.png [WIDTH] [HEIGHT]
Each column shows the smallest and largest sample of its stretch of time; the grey lines mark
full scale and half scale."""
import struct
import sys
import wave
import zlib


def main():
    source, target = sys.argv[1], sys.argv[2]
    width = int(sys.argv[3]) if len(sys.argv) > 3 else 1200
    height = int(sys.argv[4]) if len(sys.argv) > 4 else 300
    with wave.open(source) as w:
        if w.getsampwidth() != 2:
            sys.exit("wave_plot: only 16-bit PCM")
        channels = w.getnchannels()
        data = w.readframes(w.getnframes())
    samples = struct.unpack("<%dh" % (len(data) // 2), data)[::channels]
    pixels = [[(255, 255, 255)] * width for _ in range(height)]

    def row(value):
        return min(height - 1, max(0, int((1 - value / 32768) * (height - 1) / 2)))

    for level in (32767, 16384, 0, -16384, -32768):
        for x in range(width):
            pixels[row(level)][x] = (200, 200, 200)
    per = max(1, len(samples) // width)
    for x in range(width):
        part = samples[x * per:(x + 1) * per]
        if not part:
            break
        for y in range(row(max(part)), row(min(part)) + 1):
            pixels[y][x] = (20, 60, 160)
    raw = b"".join(b"\x00" + bytes(c for p in line for c in p) for line in pixels)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(target, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    main()
