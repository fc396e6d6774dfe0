#include "RecordingServices.h"

#include "CLast.h"
#include "CVirtualPiano.h"
#include "mmsystem.h"

#include <cstring>

CRecordingServices::CRecordingServices() {
    CLast::InitDummy(this);
}

CRecordingServices::~CRecordingServices() {
    CLast::InitDummy(nullptr);
}

unsigned int CRecordingServices::GetWaveOutDev() {
    const UINT count = waveOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        WAVEOUTCAPS caps{};
        if (waveOutGetDevCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            std::strcmp(caps.szPname, CVirtualPiano::kWaveOutName) == 0) {
            return id;
        }
    }
    return count;
}

unsigned int CRecordingServices::GetWaveInDev() {
    return waveInGetNumDevs();
}

void CRecordingServices::PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_levels.emplace_back(left, right);
}

void CRecordingServices::StopAudPlayFromMiddle() {
    ++m_ends;
}

void CRecordingServices::PostAudTimeDisp(unsigned int milliseconds) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_positions.push_back(milliseconds);
}

void CRecordingServices::StopAudRecFromMiddle() {}

void CRecordingServices::ErrorMessageFromMiddle(CVeskError) {}

std::vector<unsigned int> CRecordingServices::Positions() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_positions;
}

std::vector<std::pair<E_AUDLEVELOUT, E_AUDLEVELOUT>> CRecordingServices::Levels() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_levels;
}

void CRecordingServices::Clear() {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_positions.clear();
    m_levels.clear();
    m_ends = 0;
}
