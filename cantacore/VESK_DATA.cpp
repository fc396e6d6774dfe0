#include "VESK_DATA.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using Image = std::array<unsigned char, VESK_DATA::kSize>;

void Put32(Image& out, int offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(offset + i)] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::uint32_t Get32(const Image& in, int offset) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(in[static_cast<std::size_t>(offset + i)]) << (8 * i);
    }
    return value;
}

Image Encode(const VESK_DATA& data) {
    Image out{};
    std::uint64_t bits = 0;
    static_assert(sizeof(bits) == sizeof(data.version));
    std::memcpy(&bits, &data.version, sizeof(bits));
    Put32(out, 0, static_cast<std::uint32_t>(bits));
    Put32(out, 4, static_cast<std::uint32_t>(bits >> 32));
    const std::uint32_t words[] = {
        data.mainVoice,     data.dualVoice,    data.timeSig,     data.tempo,  data.reverb,
        data.brilliance,    data.touchSense,   data.transpose,   data.seqKey, data.tuning,
        data.metroCharType, data.compressType, data.frostedStyle};
    int offset = 8;
    for (std::uint32_t word : words) {
        Put32(out, offset, word);
        offset += 4;
    }
    Put32(out, 60, 0);
    return out;
}

} // namespace

QByteArray VESK_DATA::ToBytes() const {
    const Image image = Encode(*this);
    return QByteArray(reinterpret_cast<const char*>(image.data()), kSize);
}

VESK_DATA VESK_DATA::FromBytes(const QByteArray& bytes) {
    Image image = Encode(VESK_DATA{});
    const auto length = std::min<qsizetype>(bytes.size(), kSize);
    std::memcpy(image.data(), bytes.constData(), static_cast<std::size_t>(length));

    VESK_DATA data;
    const std::uint64_t bits = static_cast<std::uint64_t>(Get32(image, 0)) |
                               (static_cast<std::uint64_t>(Get32(image, 4)) << 32);
    std::memcpy(&data.version, &bits, sizeof(bits));
    std::uint32_t* const words[] = {
        &data.mainVoice,     &data.dualVoice,    &data.timeSig,      &data.tempo,   &data.reverb,
        &data.brilliance,    &data.touchSense,   &data.transpose,    &data.seqKey,  &data.tuning,
        &data.metroCharType, &data.compressType, &data.frostedStyle, &data.reserved};
    int offset = 8;
    for (std::uint32_t* word : words) {
        *word = Get32(image, offset);
        offset += 4;
    }
    return data;
}
