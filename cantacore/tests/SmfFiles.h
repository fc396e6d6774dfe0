#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Hand-made MIDI files for the tests, and what others make of them.

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kEnd{0xFF, 0x2F, 0x00};

Bytes Be32(std::uint32_t value);
Bytes Header(int format, int tracks, int division = 96);
// A track chunk of the events; its stated length is lengthOverride when that is given.
Bytes Track(const Bytes& events, long lengthOverride = -1);
Bytes Join(std::initializer_list<Bytes> parts);
// n note pairs on the channel (1-16), one tick apart, with running status.
Bytes Notes(int channel, int n, int firstNote = 60);

// Written into the test home; the path.
QString Write(const QString& name, const Bytes& bytes);
Bytes Read(const QString& path);
QByteArray Image(const Bytes& bytes);

// The file as Python's mido reads it: all events (smf_dump.py), or the note events of all
// tracks in time order.
QStringList Mido(const QString& path);
QStringList MidoNotes(const QString& path);

// Flattens a copy of the file the slow, plain way: each track read on its own and merged into
// the tracks before it, then the one merged track flattened. The bytes written, or empty when
// refused; result set to the result of the last step that decided it.
Bytes FlattenTrackByTrack(const QString& path, int& result);
