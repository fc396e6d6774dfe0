#include "CSimplePlayer.h"

#include "CMediaDecoder.h"

CSimplePlayer::CSimplePlayer(HRESULT* result, void* instance, WMAWAVEOUTCALLBACK bufferCallback,
                             WMAPLAYEOFCALLBACK eofCallback)
    : m_instance(instance), m_bufferCallback(bufferCallback), m_eofCallback(eofCallback) {
    if (result != nullptr) {
        *result = S_OK;
    }
}

CSimplePlayer::~CSimplePlayer() = default;

HRESULT CSimplePlayer::StartPlay(const char*, DWORD, DWORD, std::shared_ptr<CPlayEvent>,
                                 HRESULT* result, UINT) {
    // Playing is not built yet.
    if (result != nullptr) {
        *result = E_NOTIMPL;
    }
    return E_NOTIMPL;
}

HRESULT CSimplePlayer::StopPlay() {
    return S_OK;
}

HRESULT CSimplePlayer::GetDuration(const char*, DWORD* durationMs) {
    if (durationMs != nullptr) {
        *durationMs = 0;
    }
    return E_NOTIMPL;
}

HWAVEOUT CSimplePlayer::Get_hwo() const {
    return m_device.load();
}

const WAVEFORMATEX* CSimplePlayer::Get_wfx() const {
    return m_formatValid ? &m_format : nullptr;
}

HRESULT CSimplePlayer::GetPlayResult() const {
    return m_playResult.load();
}

void CSimplePlayer::Feed() {}

void CSimplePlayer::Finish(HRESULT, bool) {}
