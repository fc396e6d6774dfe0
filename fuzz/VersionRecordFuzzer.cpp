#include "CVersionRecord.h"

#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

// The version reader takes any file it is pointed at; whatever the bytes, it must neither
// crash nor read outside them. A file is read piece by piece, where the headers point: what it
// finds must be what the same bytes in memory give.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path =
        QStringLiteral("/tmp/cantavo-version-fuzz-%1.so").arg(static_cast<long long>(getpid()));
    const QString inMemory = CVersionRecord::Find(data, size, QStringLiteral("FileVersion"));
    (void)CVersionRecord::FindInRecord(data, size, QStringLiteral("ProductVersion"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size)) {
            std::abort();
        }
    }
    if (CVersionRecord::Read(path, QStringLiteral("FileVersion")) != inMemory) {
        std::abort();
    }
    return 0;
}
