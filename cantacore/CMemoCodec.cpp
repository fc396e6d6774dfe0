#include "CMemoCodec.h"

#include <QList>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace {

// Converts with iconv; an input sequence the target cannot take is replaced and skipped.
QByteArray Convert(const char* to, const char* from, const QByteArray& input,
                   const QByteArray& replacement, std::size_t unit) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return {};
    }
    QByteArray output;
    output.reserve(input.size() * 2 + 8);
    char* in = const_cast<char*>(input.constData());
    std::size_t inLeft = static_cast<std::size_t>(input.size());
    char buffer[1024];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Not convertible, or cut short: put the replacement and skip one unit.
            output.append(replacement);
            const std::size_t skip = std::min(unit, inLeft);
            in += skip;
            inLeft -= skip;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(converter);
    return output;
}

} // namespace

QByteArray CMemoCodec::ToFile(const QString& text) {
    // Converted from UTF-32, so a character that cannot be held is skipped whole.
    QByteArray wide;
    for (const char32_t c : text.toUcs4()) {
        const auto value = static_cast<std::uint32_t>(c);
        wide.append(reinterpret_cast<const char*>(&value), 4);
    }
    return Convert("CP932", "UTF-32LE", wide, QByteArray("?"), 4);
}

QString CMemoCodec::FromFile(const QByteArray& bytes) {
    return QString::fromUtf8(Convert("UTF-8", "CP932", bytes, QByteArray("\xEF\xBF\xBD"), 1));
}
