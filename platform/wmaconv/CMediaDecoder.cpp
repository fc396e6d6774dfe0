#include "CMediaDecoder.h"

#include "CCodecModule.h"

std::unique_ptr<CMediaDecoder> CMediaDecoder::Open(const char* path, HRESULT* result) {
    const WmaconvCodec* codec = CCodecModule::Codec();
    if (codec == nullptr) {
        *result = WMACONV_E_NOCODEC;
        return nullptr;
    }
    return std::unique_ptr<CMediaDecoder>(codec->openDecoder(path, result));
}
