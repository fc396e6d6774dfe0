#include "CVersionRecord.h"

#include <QFile>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <functional>
#include <vector>

namespace {

// A version record is a few hundred bytes; a section claiming more is not one.
constexpr std::uint64_t kLargestRecord = 1 << 20;

// Copies length bytes at offset into out; false when they are not all there.
using Fetch = std::function<bool(std::uint64_t offset, std::size_t length, void* out)>;

template <typename T>
bool ReadAt(const Fetch& fetch, std::uint64_t offset, T& out) {
    return fetch(offset, sizeof(T), &out);
}

bool InRange(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
    return offset <= size && length <= size - offset;
}

// Walks the image's section headers through fetch, so that a file on disk is read only where
// the headers, the section names and the record lie.
QString Locate(const Fetch& fetch, std::uint64_t size, const QString& key) {
    Elf64_Ehdr header;
    if (!ReadAt(fetch, 0, header)) {
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
    if (!ReadAt(fetch, header.e_shoff + header.e_shstrndx * entrySize, names) ||
        names.sh_type == SHT_NOBITS || !InRange(size, names.sh_offset, names.sh_size)) {
        return {};
    }
    const std::size_t wantedLength = std::strlen(CVersionRecord::kSectionName) + 1;
    std::vector<char> name(wantedLength);
    for (std::uint64_t index = 0; index < count; ++index) {
        Elf64_Shdr section;
        if (!ReadAt(fetch, header.e_shoff + index * entrySize, section)) {
            return {};
        }
        if (section.sh_name >= names.sh_size || names.sh_size - section.sh_name < wantedLength ||
            !fetch(names.sh_offset + section.sh_name, wantedLength, name.data()) ||
            std::memcmp(name.data(), CVersionRecord::kSectionName, wantedLength) != 0) {
            continue;
        }
        if (section.sh_type == SHT_NOBITS || !InRange(size, section.sh_offset, section.sh_size) ||
            section.sh_size > kLargestRecord) {
            return {};
        }
        std::vector<unsigned char> record(section.sh_size);
        if (!fetch(section.sh_offset, record.size(), record.data())) {
            return {};
        }
        return CVersionRecord::FindInRecord(record.data(), record.size(), key);
    }
    return {};
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
    if (data == nullptr) {
        return {};
    }
    const Fetch fromMemory = [data, size](std::uint64_t offset, std::size_t length, void* out) {
        if (!InRange(size, offset, length)) {
            return false;
        }
        if (length != 0) {
            std::memcpy(out, data + offset, length);
        }
        return true;
    };
    return Locate(fromMemory, size, key);
}

QString CVersionRecord::Read(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) {
        return {};
    }
    // Read piece by piece rather than mapped: a file shortened while mapped would fault the
    // reader, and a program's image with its debugging sections is many megabytes.
    const auto size = static_cast<std::uint64_t>(file.size());
    const Fetch fromFile = [&file, size](std::uint64_t offset, std::size_t length, void* out) {
        if (length == 0) {
            return InRange(size, offset, length);
        }
        return InRange(size, offset, length) && file.seek(static_cast<qint64>(offset)) &&
               file.read(static_cast<char*>(out), static_cast<qint64>(length)) ==
                   static_cast<qint64>(length);
    };
    return Locate(fromFile, size, key);
}
