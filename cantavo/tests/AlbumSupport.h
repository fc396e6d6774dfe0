#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Files for the album tests: a small Standard MIDI File (with a memo when one is given), a
// WAV of a tone, and a picture of a window saved beside the test.
namespace albumtest {

QByteArray MidiFile(const QByteArray& memo = {});
// 16-bit stereo PCM at 44.1 kHz.
QByteArray WavFile(int seconds);
bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
// Saves what the window shows as a PNG into the build folder's screenshots; returns its path.
QString SaveShot(QWidget* window, const QString& name);

} // namespace albumtest
