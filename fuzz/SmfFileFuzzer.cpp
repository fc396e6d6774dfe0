#include "Smf.h"

#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

// A file of any bytes is read track by track, flattened (both from the mapped file and one
// track at a time, which must agree) and given a memo. Whatever it holds, nothing reads or
// writes outside the workspace, and a file that cannot be read is left as it was.
namespace {

QString Scratch() {
    static const QString path =
        QStringLiteral("/tmp/cantavo-smf-fuzz-%1.mid").arg(static_cast<long long>(getpid()));
    return path;
}

QByteArray Put(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QFile file(Scratch());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
    return bytes;
}

QByteArray Get() {
    QFile file(Scratch());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (2u << 20)) {
        return 0;
    }
    const QByteArray original = Put(data, size);
    {
        const SmfAccess access;
        access->Select(0);
        for (int track = 0; track < 4 && SmfReadTrack(*access, Scratch(), track); ++track) {
        }
    }
    // Flattened one track at a time as well, in a second file: the two must agree.
    const QString second = Scratch() + QStringLiteral(".2");
    {
        QFile copy(second);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            copy.write(original) != original.size()) {
            std::abort();
        }
    }
    SmfSetMapping(false);
    const int oneByOne = SmfFlattenFile(second);
    SmfSetMapping(true);
    const int result = SmfFlattenFile(Scratch());
    if (result != SMF_RESULT_OK && Get() != original) {
        __builtin_trap(); // an unreadable file was changed
    }
    const QByteArray flattened = Get();
    QFile other(second);
    if (result != oneByOne || !other.open(QIODevice::ReadOnly) || other.readAll() != flattened) {
        __builtin_trap(); // the two ways of merging disagree
    }
    if (SmfWriteMemo(Scratch(), "memo", 4) != SMF_RESULT_OK && Get() != flattened) {
        __builtin_trap();
    }
    return 0;
}
