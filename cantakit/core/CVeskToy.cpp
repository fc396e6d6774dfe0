#include "CVeskToy.h"

#include "CVersionRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <dlfcn.h>

CVeskToy::~CVeskToy() = default;

QString CVeskToy::GenuinePath() const {
    const QByteArray home = qgetenv("CANTAVO_HOME");
    if (!home.isEmpty()) {
        return QDir::cleanPath(QDir(QFile::decodeName(home)).absolutePath());
    }
    // The same folder as QStandardPaths::AppDataLocation for organisation "Tolvarine" and
    // application "Cantavo", without depending on the application object's names.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::cleanPath(data + QStringLiteral("/Tolvarine/Cantavo"));
}

QString CVeskToy::GenuineFile(const QString& name) const {
    return GenuinePath() + QLatin1Char('/') + name;
}

QString CVeskToy::DataPath() const {
    return GenuinePath() + QStringLiteral("/Data");
}

QString CVeskToy::DataFile(const QString& name) const {
    return DataPath() + QLatin1Char('/') + name;
}

QString CVeskToy::TempPath() const {
    return GenuinePath() + QStringLiteral("/Temp");
}

QString CVeskToy::TempFile(const QString& name) const {
    return TempPath() + QLatin1Char('/') + name;
}

QString CVeskToy::ProgramFilesPath() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

namespace {

QString KitFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&KitFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
}

} // namespace

QString CVeskToy::GetFileVersion(const QString& file, const QString& key) const {
    if (file.isEmpty()) {
        return {};
    }
    if (QFileInfo(file).isAbsolute()) {
        return CVersionRecord::Read(file, key);
    }
    for (const QString& folder : {ProgramFilesPath(), KitFolder()}) {
        if (folder.isEmpty()) {
            continue;
        }
        const QString candidate = folder + QLatin1Char('/') + file;
        if (QFileInfo::exists(candidate)) {
            return CVersionRecord::Read(candidate, key);
        }
    }
    return {};
}
