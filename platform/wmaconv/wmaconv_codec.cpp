#include "CFfmpegDecoder.h"
#include "CWmaEncoder.h"
#include "WmaconvCodec.h"

namespace {

CMediaDecoder* OpenDecoder(const char* path, HRESULT* result) {
    return CFfmpegDecoder::Open(path, result).release();
}

HRESULT CompressWma(const char* source, const char* destination, std::atomic<double>* progress) {
    return CWmaEncoder::Run(source, destination, *progress);
}

} // namespace

extern "C" __attribute__((visibility("default"))) const WmaconvCodec* WmaconvCodecEntry() {
    static const WmaconvCodec codec{WmaconvCodec::kRevision, &OpenDecoder, &CompressWma};
    return &codec;
}
