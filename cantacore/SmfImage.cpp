#include "SmfImage.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CDescriptor {
public:
    explicit CDescriptor(int fd) : m_fd(fd) {}
    ~CDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

E_SMF_ERROR SmfImage::Read(const QString& path) {
    m_bytes.clear();
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    // Checked before opening, because opening a pipe for reading waits for a writer.
    if (name.isEmpty() || ::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return SMF_CANNOT_OPEN;
    }
    // Non-blocking and checked again: the name may have been given to a pipe meanwhile.
    const CDescriptor file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return SMF_CANNOT_OPEN;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kLargestFile) {
        return SMF_TOO_LARGE;
    }
    // The size is only a hint: the file may grow or shrink while it is read.
    m_bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == m_bytes.size()) {
            if (got > kLargestFile) {
                m_bytes.clear();
                return SMF_TOO_LARGE;
            }
            m_bytes.resize(std::min(got * 2 + 4096, kLargestFile + 1));
        }
        const ssize_t part = ::read(file.Get(), m_bytes.data() + got, m_bytes.size() - got);
        if (part == 0) {
            break;
        }
        if (part < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_bytes.clear();
            return SMF_SHORT_READ;
        }
        got += static_cast<std::size_t>(part);
    }
    m_bytes.resize(got);
    return SMF_OK;
}
