#pragma once

#include <atomic>

class CSequencerPlay;
class CSequencerRec;
class CAudioPlay;
class CAudioRec;
class CCtrlPanel;
class CMetronome;

// The engine workers that the shared state calls. A slot that is empty is skipped.
class CMidCtrl {
public:
    CMidCtrl() = default;
    CMidCtrl(const CMidCtrl&) = delete;
    CMidCtrl& operator=(const CMidCtrl&) = delete;
    virtual ~CMidCtrl();

    // Each setter puts the worker in and returns the one it replaces.
    void* SetSequencerPlay(CSequencerPlay* worker);
    CSequencerPlay* GetSequencerPlay() const { return m_sequencerPlay; }
    void* SetSequencerRec(CSequencerRec* worker);
    CSequencerRec* GetSequencerRec() const { return m_sequencerRec; }
    void* SetAudioPlay(CAudioPlay* worker);
    CAudioPlay* GetAudioPlay() const { return m_audioPlay; }
    void* SetAudioRec(CAudioRec* worker);
    CAudioRec* GetAudioRec() const { return m_audioRec; }
    void* SetCtrlPanel(CCtrlPanel* worker);
    CCtrlPanel* GetCtrlPanel() const { return m_ctrlPanel; }
    void* SetMetronome(CMetronome* worker);
    CMetronome* GetMetronome() const { return m_metronome; }

protected:
    template <typename T>
    static void* GetAndSet(std::atomic<T*>& slot, T* worker) {
        return slot.exchange(worker);
    }

private:
    std::atomic<CSequencerPlay*> m_sequencerPlay{nullptr};
    std::atomic<CSequencerRec*> m_sequencerRec{nullptr};
    std::atomic<CAudioPlay*> m_audioPlay{nullptr};
    std::atomic<CAudioRec*> m_audioRec{nullptr};
    std::atomic<CCtrlPanel*> m_ctrlPanel{nullptr};
    std::atomic<CMetronome*> m_metronome{nullptr};
};
