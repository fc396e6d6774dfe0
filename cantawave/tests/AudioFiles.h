#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Sound files made for the player's tests, and what the piano heard.

// Interleaved 16-bit frames whose samples count up (left) and down (right), so that any byte
// lost, repeated or moved shows.
QByteArray RampFrames(std::size_t frames, int channels = 2);
// A RIFF/WAVE image: "fmt " with the given fields, an optional chunk between "fmt " and
// "data", then "data" holding sound (whose size field says dataSize, or the real size).
QByteArray WaveImage(const QByteArray& sound, unsigned rate = 44100, unsigned channels = 2,
                     unsigned bits = 16, unsigned tag = 1, const QByteArray& between = {},
                     std::int64_t dataSize = -1);
// The RIFF wrapper this system's MP3-in-WAV files have: the 30-byte MPEG Layer-3 format
// record (tag 0x55) and the MP3 stream as "data".
QByteArray MpegLayer3WaveImage(const QByteArray& mp3, unsigned rate, unsigned channels,
                               unsigned bytesPerSecond);
// Writes bytes to a file of the given name below the test home; its path.
QString WriteTestFile(const QString& name, const QByteArray& bytes);
// Runs a program; true when it ran and exited with 0.
bool RunTool(const QString& program, const QStringList& arguments);
