"""Prints a Standard MIDI File as an independent reader (mido) sees it.

One line for the header, then one line per event: the track number, the delta time and the
event's bytes in hexadecimal.
"""
import sys

import mido


def main(path):
    midi = mido.MidiFile(path)
    print(f"format {midi.type} division {midi.ticks_per_beat} tracks {len(midi.tracks)}")
    for number, track in enumerate(midi.tracks):
        for message in track:
            data = " ".join(f"{byte:02X}" for byte in message.bytes())
            print(f"{number} {message.time} {data}")


if __name__ == "__main__":
    main(sys.argv[1])
