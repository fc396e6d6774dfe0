#pragma once

#include <QString>

// Whether this system can take the program's Debian package: Debian 12 or newer, or another
// Debian-based distribution whose C library is at least Debian 12's (2.36), since the
// package's libraries (Qt 6.4, FFmpeg 5, FluidSynth 2.3) arrived together with it.
class CSystemCheck {
public:
    // The contents of an os-release file and the C library's version ("2.36").
    CSystemCheck(const QString& osRelease, const QString& libcVersion);

    // The running system: /etc/os-release (else /usr/lib/os-release) and the C library's own
    // answer. The file can be replaced with CANTASETUP_OS_RELEASE, so that the launcher can
    // be tried on a machine of another age.
    static CSystemCheck Current();

    bool IsNewEnough() const;
    // One line for the trace of what was found, e.g. "debian 12, glibc 2.36".
    QString Describe() const;

private:
    QString Field(const QString& name) const;

    QString m_osRelease;
    QString m_libcVersion;
};
