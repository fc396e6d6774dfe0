#include "CAudioCodec.h"
#include "CWmaCompress.h"
#include "wmaconv.h"

#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

// A source file of any bytes goes through both compressions. Whatever it holds, nothing reads
// or writes out of bounds, and a compression that fails leaves no destination behind.
namespace {

QByteArray Scratch(const char* name) {
    return QFile::encodeName(QStringLiteral("/tmp/cantavo-codec-fuzz-%1-%2")
                                 .arg(static_cast<long long>(getpid()))
                                 .arg(QString::fromLatin1(name)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QByteArray source = Scratch("in.wav");
    static const QByteArray mp3 = Scratch("out.mp3");
    static const QByteArray wma = Scratch("out.wma");
    {
        QFile file(QFile::decodeName(source));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size)) {
            std::abort();
        }
    }
    CAudioCodec codec;
    if (codec.AcmCompress(source.constData(), mp3.constData()) == 0) {
        // A copy that succeeded is a RIFF file of its own.
        QFile out(QFile::decodeName(mp3));
        if (!out.open(QIODevice::ReadOnly) || !out.read(4).startsWith("RIFF")) {
            std::abort();
        }
    }
    QFile::remove(QFile::decodeName(mp3));
    CWmaCompress compress;
    const HRESULT converted = compress.Convert(source.constData(), wma.constData());
    // Without its codec module every input would be refused at once, and the encoder's
    // reading of the source never fuzzed.
    if (converted == WMACONV_E_NOCODEC) {
        std::abort();
    }
    if (converted != 0 && QFile::exists(QFile::decodeName(wma))) {
        std::abort();
    }
    QFile::remove(QFile::decodeName(wma));
    return 0;
}
