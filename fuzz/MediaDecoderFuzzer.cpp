#include "CMediaDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

// An audio file of any bytes, played as the player plays it: opened, read at the device's
// rate, sought to its middle and read on at another rate. Whatever it holds, nothing reads or
// writes out of bounds, every read gives whole stereo frames within the room it was given,
// and no file makes the decoder spin or swell (the fuzzer's time and memory limits).
namespace {

// Enough to decode a file of the fuzzer's sizes to its end many times over.
constexpr std::size_t kMostBytes = 16u << 20;

void ReadOn(CMediaDecoder& decoder, std::size_t chunk) {
    std::vector<std::uint8_t> buffer(chunk);
    std::size_t total = 0;
    while (total < kMostBytes) {
        std::size_t produced = chunk + 1;
        const HRESULT r = decoder.Read(buffer.data(), buffer.size(), &produced);
        if (produced > chunk || produced % 4 != 0) {
            std::abort();
        }
        total += produced;
        if (r < 0 || produced < chunk) {
            return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/cantavo-decoder-fuzz-" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
    HRESULT result = E_FAIL;
    std::unique_ptr<CMediaDecoder> decoder = CMediaDecoder::Open(path.c_str(), &result);
    if (!decoder) {
        if (result >= 0 || result == WMACONV_E_NOCODEC) {
            std::abort(); // a refusal is a failure, and the codec module must be there
        }
        return 0;
    }
    if (result != S_OK || decoder->SourceRate() == 0) {
        std::abort();
    }
    const std::uint32_t duration = decoder->DurationMs();
    if (decoder->SetOutputRate(44100) >= 0) {
        ReadOn(*decoder, 4096);
    }
    if (decoder->SetOutputRate(48000) >= 0 && decoder->Seek(duration / 2) >= 0) {
        ReadOn(*decoder, 1000);
    }
    return 0;
}
