#include "CSoundFile.h"

#include "CFusion.h"
#include "CLast.h"
#include "CVeskError.h"
#include "CVeskToy.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCaption = QStringLiteral("メッセージ");

void Show(const QString& text) {
    CLast::Fusion().ShowMessage(text, MB_OK, kCaption);
}

// Whether anything stands at path, readable or not (a dangling link counts too).
bool Exists(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool CanRead(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

// Puts from at to in one step; an existing file at to is replaced only when replace is set,
// otherwise the call fails with EEXIST and both stay.
bool Rename(const QByteArray& from, const QByteArray& to, bool replace) {
    if (replace) {
        return ::rename(from.constData(), to.constData()) == 0;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace rename: a hard link is refused on an existing name
    // just the same.
    if (::link(from.constData(), to.constData()) != 0) {
        return false;
    }
    ::unlink(from.constData());
    return true;
}

// Copies source to a hidden file beside target, flushes it to disk and renames it over target,
// so target is either the old file or the whole new one. errno tells why when it fails.
bool CopyOver(const QByteArray& source, const QByteArray& target, bool replace) {
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    // A name of its own that nothing else had: an existing file or link named like it is
    // never opened, emptied or removed.
    QByteArray partial = target + ".partial-XXXXXX";
    const int out = ::mkostemp(partial.data(), O_CLOEXEC);
    if (out >= 0) {
        (void)::fchmod(out, 0644);
    }
    if (out < 0) {
        const int error = errno;
        ::close(in);
        errno = error;
        return false;
    }
    bool ok = true;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok) {
            break;
        }
    }
    ok = ok && ::fsync(out) == 0;
    const int error = errno;
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (ok && Rename(partial, target, replace)) {
        return true;
    }
    const int failure = ok ? errno : error;
    ::unlink(partial.constData());
    errno = failure;
    return false;
}

// Moves source to target in one step, replacing an existing target only when replace is set.
// Across file systems the file is copied whole before the source is removed. errno tells why
// when it fails.
bool Move(const QString& source, const QString& target, bool replace) {
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    if (Rename(from, to, replace)) {
        return true;
    }
    if (errno != EXDEV || !CopyOver(from, to, replace)) {
        return false;
    }
    ::unlink(from.constData());
    return true;
}

} // namespace

CSoundFile::CSoundFile(const QString& extension) : m_extension(extension) {
    const CVeskToy toy;
    for (const QString& folder : {toy.DataPath(), toy.TempPath()}) {
        if (!QDir::setCurrent(folder) && !QDir().mkpath(folder)) {
            CVeskError error;
            error.SetCode(ERR_VESK_FAILED, QStringLiteral("予期せぬエラーが発生しました。(21)"));
            Show(error.GetStr());
        }
    }
}

CSoundFile::CSoundFile(const CSoundFile& other)
    : m_extension(other.m_extension), m_status(other.m_status.load()), m_flag(other.m_flag.load()),
      m_fileName(other.GetFileName()) {}

CSoundFile& CSoundFile::operator=(const CSoundFile& other) {
    if (this != &other) {
        m_extension = other.m_extension;
        m_status = other.m_status.load();
        m_flag = other.m_flag.load();
        SetName(other.GetFileName());
    }
    return *this;
}

CSoundFile::~CSoundFile() = default;

QString CSoundFile::GetFileName() const {
    const std::lock_guard<std::mutex> guard(m_nameLock);
    return m_fileName;
}

void CSoundFile::SetName(const QString& name) {
    const std::lock_guard<std::mutex> guard(m_nameLock);
    m_fileName = name;
}

int CSoundFile::SetFileName(const QString& path) {
    // A user who backs out of the question keeps the take, its file and its flag.
    if (OnSaveFileDefine(0) == 0) {
        return 0;
    }
    m_flag = MODIFIED_CLEAN;
    if (CanRead(path)) {
        SetName(path);
        return 1;
    }
    SetName(QString());
    return 0;
}

QString CSoundFile::FileNameAt(const QDateTime& time) const {
    return CVeskToy().TempFile(time.toString(QStringLiteral("yyyyMMdd_HHmmss")) + m_extension);
}

QString CSoundFile::MakeFileName() {
    if (OnSaveFileDefine(0) != 1) {
        return {};
    }
    const QString name = FileNameAt(QDateTime::currentDateTime());
    SetName(name);
    m_flag = MODIFIED_DIRTY;
    return name;
}

int CSoundFile::IsExist() {
    const QString name = GetFileName();
    if (name.isEmpty()) {
        return 1;
    }
    if (CanRead(name)) {
        return 1;
    }
    SetName(QString());
    m_flag = MODIFIED_CLEAN;
    return 0;
}

int CSoundFile::SaveFile(const QString& target) {
    if (target.isEmpty()) {
        Show(QStringLiteral("file name ?"));
        return 0;
    }
    // Whatever stands there, readable by this user or not, is replaced only when confirmed.
    const bool replace = Exists(target);
    if (replace) {
        const int answer = CLast::Fusion().ShowMessage(
            QStringLiteral(
                "既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"),
            MB_YESNO, kCaption);
        if (answer != IDYES) {
            return 0;
        }
        // The existing file is replaced by the move itself rather than deleted first, so that
        // a move that fails cannot lose it; what could not be deleted is refused here.
        const QFileInfo existing(target);
        if (!existing.isFile() || !QFileInfo(existing.absolutePath()).isWritable()) {
            Show(QStringLiteral("予期せぬエラーが発生しました。(1)"));
            return 0;
        }
    }
    if (!Move(GetFileName(), target, replace)) {
        Show(QString::fromLocal8Bit(std::strerror(errno)));
        return 0;
    }
    m_flag = MODIFIED_CLEAN;
    SetName(target);
    return 1;
}

int CSoundFile::DeleteFileA() {
    const QString name = GetFileName();
    if (name.isEmpty()) {
        return 0;
    }
    if (!QFile::remove(name) && CanRead(name)) {
        Show(QStringLiteral("予期せぬエラーが発生しました。(1)"));
        return 0;
    }
    m_flag = MODIFIED_CLEAN;
    SetFileName(QString());
    return 1;
}
