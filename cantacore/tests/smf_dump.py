"""Prints a Standard MIDI File as an independent reader (mido) sees it.

Without options: one line for the header, then one line per event: the track number, the delta
time and the event's bytes in hexadecimal.

With --notes: the note-on and note-off events of all tracks in the order of their absolute
times (on equal times, the earlier track first), one line each: the absolute time, the channel
(1-16), "on" or "off", the note and the velocity.
"""
import sys

import mido


def dump(midi):
    print(f"format {midi.type} division {midi.ticks_per_beat} tracks {len(midi.tracks)}")
    for number, track in enumerate(midi.tracks):
        for message in track:
            data = " ".join(f"{byte:02X}" for byte in message.bytes())
            print(f"{number} {message.time} {data}")


def notes(midi):
    events = []
    for track in midi.tracks:
        time = 0
        for message in track:
            time += message.time
            if message.type in ("note_on", "note_off"):
                kind = "on" if message.type == "note_on" else "off"
                events.append((time, message.channel + 1, kind, message.note, message.velocity))
    events.sort(key=lambda event: event[0])  # stable: the earlier track first
    for event in events:
        print(" ".join(str(part) for part in event))


def main(arguments):
    if arguments[0] == "--notes":
        notes(mido.MidiFile(arguments[1]))
    else:
        dump(mido.MidiFile(arguments[0]))


if __name__ == "__main__":
    main(sys.argv[1:])
