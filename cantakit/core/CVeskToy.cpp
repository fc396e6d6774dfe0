#include "CVeskToy.h"

#include "CVersionRecord.h"
#include "CVeskException.h"
#include "CWinMsg.h"

#include <QDir>
#include <QFileInfo>
#include <QResource>
#include <QStandardPaths>
#include <algorithm>
#include <dlfcn.h>
#include <map>
#include <mutex>

CVeskToy::~CVeskToy() = default;

namespace {

// A relative $CANTAVO_HOME names a folder below the directory the program started in. The
// program changes its current directory, so each value is made absolute the first time it is
// seen (at load, for the value the program starts with) and stays so.
QString AbsoluteHome(const QByteArray& home) {
    static auto* lock = new std::mutex;
    static auto* resolved = new std::map<QByteArray, QString>;
    const std::lock_guard<std::mutex> guard(*lock);
    const auto found = resolved->find(home);
    if (found != resolved->end()) {
        return found->second;
    }
    const QString path = QDir::cleanPath(QDir(QFile::decodeName(home)).absolutePath());
    resolved->emplace(home, path);
    return path;
}

const bool g_homeResolvedAtLoad = [] {
    const QByteArray home = qgetenv("CANTAVO_HOME");
    if (!home.isEmpty()) {
        AbsoluteHome(home);
    }
    return true;
}();

} // namespace

QString CVeskToy::GenuinePath() const {
    const QByteArray home = qgetenv("CANTAVO_HOME");
    if (!home.isEmpty()) {
        return AbsoluteHome(home);
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

void CVeskToy::SearchDir(const QString& folder, std::vector<QString>& found) {
    // Searched into a list of its own, so a folder that cannot be entered halfway leaves the
    // caller's list as it was.
    std::vector<QString> all = found;
    Search(folder, QDir(folder).absolutePath(), all);
    std::vector<std::pair<QByteArray, QString>> keyed;
    keyed.reserve(all.size());
    for (QString& path : all) {
        keyed.emplace_back(path.toLower().toUtf8(), std::move(path));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    found.clear();
    for (auto& [key, path] : keyed) {
        found.push_back(std::move(path));
    }
}

void CVeskToy::Search(const QString& folder, const QString& absolute, std::vector<QString>& found) {
    // Entered by its absolute path: a relative folder name would otherwise be taken relative to
    // the folder entered before it.
    if (!QDir::setCurrent(absolute)) {
        throw CVeskException();
    }
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/'))) {
        prefix += QLatin1Char('/');
    }
    const QDir current(QStringLiteral("."));
    const QFileInfoList entries = current.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        PumpMessages();
        // Only real folders are searched; a link to a folder is listed like a file, so a
        // link back up the tree cannot make the search go round for ever.
        if (entry.isDir() && !entry.isSymLink()) {
            Search(prefix + entry.fileName() + QLatin1Char('/'),
                   absolute + QLatin1Char('/') + entry.fileName(), found);
        } else {
            found.push_back(prefix + entry.fileName());
        }
    }
}

QByteArray CVeskToy::GetWaveResource(const QString& name, const QString& module) const {
    const QResource resource(QStringLiteral(":/%1/WAVE/%2").arg(module, name));
    if (!resource.isValid() || QFileInfo(resource.absoluteFilePath()).isDir()) {
        return {};
    }
    return resource.uncompressedData();
}

void CVeskToy::ConbineMessage(unsigned int high, unsigned int low, unsigned int& out) {
    out = (high << 16) | (low & 0xFFFFu);
}

void CVeskToy::DivideMessage(unsigned int& high, unsigned int& low, unsigned int in) {
    high = in >> 16;
    low = in & 0xFFFFu;
}

void CVeskToy::ConbineWord4Message(unsigned int first, unsigned int second, unsigned int third,
                                   unsigned int fourth, unsigned int& out) {
    out = (first << 24) | ((second & 0xFFu) << 16) | ((third & 0xFFu) << 8) | (fourth & 0xFFu);
}

void CVeskToy::DivideWord4Message(unsigned int& first, unsigned int& second, unsigned int& third,
                                  unsigned int& fourth, unsigned int in) {
    first = in >> 24;
    second = (in >> 16) & 0xFFu;
    third = (in >> 8) & 0xFFu;
    fourth = in & 0xFFu;
}

void CVeskToy::PumpMessages() {
    CWinMsg::PumpMessages();
}
