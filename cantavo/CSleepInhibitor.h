#pragma once

#include <QDBusUnixFileDescriptor>
#include <QString>

// Keeps the computer from suspending while the program runs: a recording or playback with the
// ZQ31 would be cut off by a suspend. It holds a systemd-logind "sleep" inhibitor in block
// mode for as long as it lives. Where there is no system bus or no logind (or logind refuses),
// the program runs without one and Reason() says why.
class CSleepInhibitor {
public:
    static const QString kWho;
    static const QString kWhy;

    CSleepInhibitor() = default;
    ~CSleepInhibitor();
    CSleepInhibitor(const CSleepInhibitor&) = delete;
    CSleepInhibitor& operator=(const CSleepInhibitor&) = delete;

    // Takes the inhibitor; false when none could be taken.
    bool Acquire();
    // Lets the system suspend again.
    void Release();
    bool IsHeld() const { return m_fd.isValid(); }
    // Why there is no inhibitor, for the trace log.
    QString Reason() const { return m_reason; }

private:
    QDBusUnixFileDescriptor m_fd;
    QString m_reason;
};
