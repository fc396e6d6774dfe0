#include "CWmaCompress.h"

#include "CCodecModule.h"

CWmaCompress::CWmaCompress() = default;

CWmaCompress::~CWmaCompress() = default;

HRESULT CWmaCompress::Convert(const char* source, const char* destination) {
    m_progress = 0.0;
    if (source == nullptr || destination == nullptr) {
        return E_POINTER;
    }
    const WmaconvCodec* codec = CCodecModule::Codec();
    if (codec == nullptr) {
        return WMACONV_E_NOCODEC;
    }
    return codec->compressWma(source, destination, &m_progress);
}
