#include "AlbumSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QWidget>
#include <QtEndian>
#include <cmath>

namespace albumtest {

namespace {

void Be32(QByteArray& out, quint32 value) {
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8));
    out.append(char(value));
}

void Le32(QByteArray& out, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        out.append(char(value >> (8 * i)));
    }
}

void Le16(QByteArray& out, quint16 value) {
    out.append(char(value)).append(char(value >> 8));
}

} // namespace

QByteArray MidiFile(const QByteArray& memo) {
    QByteArray track;
    if (!memo.isEmpty()) {
        track.append('\0').append(char(0xFF)).append(char(0x01)).append(char(memo.size()));
        track.append(memo);
    }
    const char notes[] = {0x00, char(0x90), 0x3C, 0x40,       char(0x83), 0x60, char(0x80),
                          0x3C, 0x40,       0x00, char(0xFF), 0x2F,       0x00};
    track.append(notes, sizeof notes);
    QByteArray file("MThd");
    Be32(file, 6);
    file.append('\0').append('\0').append('\0').append('\1').append(char(0x01)).append(char(0xE0));
    file.append("MTrk");
    Be32(file, quint32(track.size()));
    return file + track;
}

QByteArray WavFile(int seconds) {
    const quint32 frames = quint32(44100 * seconds);
    QByteArray data;
    data.reserve(int(frames * 4));
    for (quint32 i = 0; i < frames; ++i) {
        const auto sample = qint16(8000 * std::sin(2 * M_PI * 440.0 * i / 44100.0));
        Le16(data, quint16(sample));
        Le16(data, quint16(sample));
    }
    QByteArray file("RIFF");
    Le32(file, quint32(36 + data.size()));
    file.append("WAVEfmt ");
    Le32(file, 16);
    Le16(file, 1);
    Le16(file, 2);
    Le32(file, 44100);
    Le32(file, 44100 * 4);
    Le16(file, 4);
    Le16(file, 16);
    file.append("data");
    Le32(file, quint32(data.size()));
    return file + data;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString SaveShot(QWidget* window, const QString& name) {
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    window->grab().save(path);
    return path;
}

} // namespace albumtest
