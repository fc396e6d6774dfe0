#pragma once

#include <QByteArray>
#include <QString>

// The memo of a MIDI file is stored as CP932 (Shift_JIS) bytes, so that album files stay
// readable by the system that wrote them before. Characters CP932 cannot hold become "?";
// bytes that are not CP932 become U+FFFD.
class CMemoCodec {
public:
    static QByteArray ToFile(const QString& text);
    static QString FromFile(const QByteArray& bytes);
};
