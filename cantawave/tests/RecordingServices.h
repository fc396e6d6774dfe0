#pragma once

#include "CDummy.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

// The engine's services as the audio library sees them, recording every report: registered in
// CLast for as long as it lives. The wave output is the virtual ZQ31's, found by its name.
class CRecordingServices : public CDummy {
public:
    CRecordingServices();
    ~CRecordingServices() override;

    unsigned int GetWaveOutDev() override;
    unsigned int GetWaveInDev() override;
    void PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) override;
    void StopAudPlayFromMiddle() override;
    void PostAudTimeDisp(unsigned int milliseconds) override;
    void StopAudRecFromMiddle() override;
    void ErrorMessageFromMiddle(CVeskError error) override;

    std::vector<unsigned int> Positions() const;
    std::vector<std::pair<E_AUDLEVELOUT, E_AUDLEVELOUT>> Levels() const;
    int EndNotices() const { return m_ends; }
    void Clear();

private:
    mutable std::mutex m_lock;
    std::vector<unsigned int> m_positions;
    std::vector<std::pair<E_AUDLEVELOUT, E_AUDLEVELOUT>> m_levels;
    std::atomic<int> m_ends{0};
};
