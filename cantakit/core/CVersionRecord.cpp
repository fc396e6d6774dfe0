#include "CVersionRecord.h"

#include <QFile>
#include <cstring>
#include <elf.h>

namespace {

// Reads a plain structure at offset when it lies wholly inside the data.
template <typename T>
bool ReadAt(const unsigned char* data, std::size_t size, std::uint64_t offset, T& out) {
    if (offset > size || size - offset < sizeof(T)) {
        return false;
    }
    std::memcpy(&out, data + offset, sizeof(T));
    return true;
}

bool InRange(std::size_t size, std::uint64_t offset, std::uint64_t length) {
    return offset <= size && length <= size - offset;
}

} // namespace

QString CVersionRecord::FindInRecord(const unsigned char* record, std::size_t size,
                                     const QString& key) {
    const std::size_t markerSize = std::strlen(kMarker) + 1;
    if (record == nullptr || size < markerSize || std::memcmp(record, kMarker, markerSize) != 0) {
        return {};
    }
    const QByteArray wanted = key.toUtf8();
    const auto* cursor = reinterpret_cast<const char*>(record) + markerSize;
    const auto* end = reinterpret_cast<const char*>(record) + size;
    while (cursor < end) {
        const auto* keyEnd = static_cast<const char*>(std::memchr(cursor, '\0', end - cursor));
        if (keyEnd == nullptr || keyEnd == cursor) {
            return {};
        }
        const auto* value = keyEnd + 1;
        if (value >= end) {
            return {};
        }
        const auto* valueEnd = static_cast<const char*>(std::memchr(value, '\0', end - value));
        if (valueEnd == nullptr) {
            return {};
        }
        if (keyEnd - cursor == wanted.size() &&
            std::memcmp(cursor, wanted.constData(), static_cast<std::size_t>(wanted.size())) == 0) {
            return QString::fromUtf8(value, valueEnd - value);
        }
        cursor = valueEnd + 1;
    }
    return {};
}

QString CVersionRecord::Find(const unsigned char* data, std::size_t size, const QString& key) {
    Elf64_Ehdr header;
    if (data == nullptr || !ReadAt(data, size, 0, header)) {
        return {};
    }
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB) {
        return {};
    }
    const std::uint64_t entrySize = header.e_shentsize;
    const std::uint64_t count = header.e_shnum;
    if (entrySize < sizeof(Elf64_Shdr) || count == 0 || header.e_shstrndx >= count ||
        !InRange(size, header.e_shoff, count * entrySize)) {
        return {};
    }
    Elf64_Shdr names;
    if (!ReadAt(data, size, header.e_shoff + header.e_shstrndx * entrySize, names) ||
        names.sh_type == SHT_NOBITS || !InRange(size, names.sh_offset, names.sh_size)) {
        return {};
    }
    const std::size_t wantedLength = std::strlen(kSectionName) + 1;
    for (std::uint64_t index = 0; index < count; ++index) {
        Elf64_Shdr section;
        if (!ReadAt(data, size, header.e_shoff + index * entrySize, section)) {
            return {};
        }
        if (section.sh_name >= names.sh_size || names.sh_size - section.sh_name < wantedLength ||
            std::memcmp(data + names.sh_offset + section.sh_name, kSectionName, wantedLength) !=
                0) {
            continue;
        }
        if (section.sh_type == SHT_NOBITS || !InRange(size, section.sh_offset, section.sh_size)) {
            return {};
        }
        return FindInRecord(data + section.sh_offset, section.sh_size, key);
    }
    return {};
}

QString CVersionRecord::Read(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) {
        return {};
    }
    // Read rather than mapped: a file shortened while mapped would fault the reader.
    constexpr qint64 kLargestImage = qint64(512) << 20;
    if (file.size() > kLargestImage) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    return Find(reinterpret_cast<const unsigned char*>(bytes.constData()),
                static_cast<std::size_t>(bytes.size()), key);
}
