#include "SmfWorkspace.h"

#include <QFile>
#include <QSaveFile>
#include <cstring>
#include <sys/stat.h>

namespace {
constexpr std::uint8_t kTemplate[SmfWorkspace::kTrackStart] = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x60, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x00};
}

SmfWorkspace::SmfWorkspace() {
    for (auto& buffer : m_buffers) {
        buffer = std::make_unique<std::uint8_t[]>(kBufferSize);
    }
}

void SmfWorkspace::Select(int buffer) {
    m_current = static_cast<int>(Index(buffer));
}

void SmfWorkspace::StartAfresh() {
    m_fill[m_current] = 0;
    m_overflowed[m_current] = false;
    Append(kTemplate, sizeof kTemplate);
}

void SmfWorkspace::PatchTrackLength() {
    const std::int64_t length = std::max<std::int64_t>(0, m_fill[m_current] - 22);
    WriteAt(18, static_cast<std::uint8_t>((length >> 24) & 0xFF));
    WriteAt(19, static_cast<std::uint8_t>((length >> 16) & 0xFF));
    WriteAt(20, static_cast<std::uint8_t>((length >> 8) & 0xFF));
    WriteAt(21, static_cast<std::uint8_t>(length & 0xFF));
}

void SmfWorkspace::Append(const std::uint8_t* bytes, std::size_t length) {
    std::int32_t& fill = m_fill[m_current];
    const std::size_t room = kBufferSize - static_cast<std::size_t>(fill);
    const std::size_t part = length < room ? length : room;
    if (part > 0) {
        std::memcpy(m_buffers[m_current].get() + fill, bytes, part);
        fill += static_cast<std::int32_t>(part);
    }
    if (part < length) {
        m_overflowed[m_current] = true;
    }
}

void SmfWorkspace::AppendLongVarLen(std::int64_t value) {
    const auto bits = static_cast<std::uint32_t>(value < 0 ? 0 : value & 0x0FFFFFFF);
    const std::uint8_t groups[4] = {static_cast<std::uint8_t>((bits >> 21) & 0x7F),
                                    static_cast<std::uint8_t>((bits >> 14) & 0x7F),
                                    static_cast<std::uint8_t>((bits >> 7) & 0x7F),
                                    static_cast<std::uint8_t>(bits & 0x7F)};
    int first = 0;
    while (first < 3 && groups[first] == 0) {
        ++first;
    }
    for (int i = first; i < 3; ++i) {
        Append(static_cast<std::uint8_t>(groups[i] | 0x80));
    }
    Append(groups[3]);
}

void SmfWorkspace::WriteAt(std::int64_t position, std::uint8_t byte) {
    if (position >= 0 && position < m_fill[m_current]) {
        m_buffers[m_current][static_cast<std::size_t>(position)] = byte;
    }
}

bool SmfWorkspace::Load(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || length > kBufferSize) {
        return false;
    }
    std::memcpy(m_buffers[m_current].get(), bytes, length);
    m_fill[m_current] = static_cast<std::int32_t>(length);
    m_overflowed[m_current] = false;
    return true;
}

bool SmfWorkspace::WriteFile(const QString& path) const {
    // The file's mode is put back as it was: the new file would otherwise take the caller's
    // own rights to the old one (all of them, for the superuser).
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    const bool existed = ::stat(name.constData(), &before) == 0 && S_ISREG(before.st_mode);
    // Written beside the target and renamed over it when complete: a write that fails
    // (a full disk, say) leaves the file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const auto length = static_cast<qint64>(m_fill[m_current]);
    if (file.write(reinterpret_cast<const char*>(m_buffers[m_current].get()), length) != length) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        return false;
    }
    if (existed) {
        ::chmod(name.constData(), before.st_mode & 07777);
    }
    return true;
}
