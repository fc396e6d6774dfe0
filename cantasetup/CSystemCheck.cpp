#include "CSystemCheck.h"

#include <QFile>
#include <QStringList>
#include <QVersionNumber>
#include <gnu/libc-version.h>

namespace {

QString ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // An os-release file is a few hundred bytes; anything longer is not one.
    return QString::fromUtf8(file.read(64 * 1024));
}

const QVersionNumber kOldestLibc(2, 36);
constexpr int kOldestDebian = 12;

} // namespace

CSystemCheck::CSystemCheck(const QString& osRelease, const QString& libcVersion)
    : m_osRelease(osRelease), m_libcVersion(libcVersion) {}

CSystemCheck CSystemCheck::Current() {
    QString release;
    const QByteArray chosen = qgetenv("CANTASETUP_OS_RELEASE");
    if (!chosen.isEmpty()) {
        release = ReadFile(QFile::decodeName(chosen));
    } else {
        release = ReadFile(QStringLiteral("/etc/os-release"));
        if (release.isEmpty()) {
            release = ReadFile(QStringLiteral("/usr/lib/os-release"));
        }
    }
    return CSystemCheck(release, QString::fromLatin1(gnu_get_libc_version()));
}

QString CSystemCheck::Field(const QString& name) const {
    // KEY=value lines; the value may be quoted with double or single quotes.
    const QString prefix = name + QLatin1Char('=');
    for (const QString& raw : m_osRelease.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (!line.startsWith(prefix)) {
            continue;
        }
        QString value = line.mid(prefix.size());
        if (value.size() >= 2 &&
            (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front()) {
            value = value.mid(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

bool CSystemCheck::IsNewEnough() const {
    const QString id = Field(QStringLiteral("ID")).toLower();
    const QStringList like =
        Field(QStringLiteral("ID_LIKE")).toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const bool debianBased = id == QLatin1String("debian") ||
                             like.contains(QLatin1String("debian")) ||
                             like.contains(QLatin1String("ubuntu"));
    if (!debianBased) {
        // The package needs dpkg and Debian's library packages.
        return false;
    }
    if (id == QLatin1String("debian")) {
        bool ok = false;
        const int major =
            Field(QStringLiteral("VERSION_ID")).section(QLatin1Char('.'), 0, 0).toInt(&ok);
        if (ok) {
            return major >= kOldestDebian;
        }
        // Testing and unstable carry no version number; their C library tells.
    }
    const QVersionNumber libc = QVersionNumber::fromString(m_libcVersion);
    return !libc.isNull() && libc >= kOldestLibc;
}

QString CSystemCheck::Describe() const {
    QString id = Field(QStringLiteral("ID"));
    if (id.isEmpty()) {
        id = QStringLiteral("unknown system");
    }
    const QString version = Field(QStringLiteral("VERSION_ID"));
    return id + (version.isEmpty() ? QString() : QLatin1Char(' ') + version) +
           QStringLiteral(", glibc ") +
           (m_libcVersion.isEmpty() ? QStringLiteral("?") : m_libcVersion);
}
