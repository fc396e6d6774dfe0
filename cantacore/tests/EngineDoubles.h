#pragma once

#include "CAudioPlay.h"
#include "CAudioRec.h"
#include "CCtrlPanel.h"
#include "CDataInfo.h"
#include "CMessageReceiver.h"
#include "CMetronome.h"
#include "CSequencerPlay.h"
#include "CSequencerRec.h"
#include "CSoundFile.h"
#include "CSysinfo.h"

#include "CWinMsg.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// Waits until done() holds, handling the window thread's messages meanwhile, as the window
// thread would; false after a deadline generous enough for a loaded machine under a sanitizer.
template <typename Condition>
bool Eventually(Condition done, std::chrono::seconds limit = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        CWinMsg::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Stand-ins for the windows and for the workers whose own code comes with their devices:
// each remembers what it was told, so tests can see who heard of a change.

// A window that records the messages it handles.
class CRecordingWindow : public CMessageReceiver<QObject> {
public:
    struct Received {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Received> received;

    int Count(UINT message) const;
    const Received* Last(UINT message) const;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// A list of calls, safe to append to from any thread.
class CCallLog {
public:
    void Add(const QString& call);
    QStringList Calls() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    QStringList m_calls;
};

class CLoggingPanel : public CCtrlPanel {
public:
    CCallLog log;
    void SetDefTimbre(unsigned int v) override;
    void SetDualTimbre(unsigned int v) override;
    void SetReverbOffOn(unsigned int v) override;
    void SetBrilliance(unsigned int v) override;
    void SetTouchSense(unsigned int v) override;
    void SetTranspose(unsigned int v) override;
    void SetTuning(unsigned int v) override;
};

class CLoggingRecorder : public CSequencerRec {
public:
    CCallLog log;
    bool failMemo = false;
    CVeskError Refresh() override;
    CVeskError Stop() override;
    CVeskError SetMemo(const QString& memo) override;
    void SetBeat(unsigned int v) override;
    void SetTempo(unsigned int v) override;
    void SetDefTimbre(unsigned int v) override;
    void SetDualTimbre(unsigned int v) override;
    void SetReverbOffOn(unsigned int v) override;
    void SetBrilliance(unsigned int v) override;
    void SetTouchSense(unsigned int v) override;
    void SetTranspose(unsigned int v) override;
    void SetTuning(unsigned int v) override;
    void SetSeqVol(unsigned int v) override;
};

class CLoggingPlayer : public CSequencerPlay {
public:
    CCallLog log;
    CVeskError Refresh() override;
    CVeskError Stop() override;
    CVeskError First() override;
    void SetFileName(const QString& path) override;
    void SetTempo(unsigned int v) override;
    void SetKey(int v) override;
};

class CLoggingMetronome : public CMetronome {
public:
    CCallLog log;
    std::atomic<bool> running{false};
    std::atomic<unsigned int> count{0};
    CVeskError Start() override;
    CVeskError Stop() override;
    CVeskError Reset() override;
    void Refresh() override;
    void SetTempo(unsigned int tempo) override;
    void SetBeat(E_BEAT beat) override;
    unsigned int GetMetroBeatCount() override { return count; }
    int IsStop() override { return running ? 0 : 1; }
};

class CLoggingAudioPlay : public CAudioPlay {
public:
    CCallLog log;
    CVeskError Refresh() override;
    CVeskError Stop() override;
    CVeskError SetFileName(const QString& path) override;
};

class CLoggingAudioRec : public CAudioRec {
public:
    CCallLog log;
    CVeskError Refresh() override;
    CVeskError Stop() override;
};

// A take whose save question the test answers.
class CAnsweringTake : public CSoundFile {
public:
    explicit CAnsweringTake(const QString& extension) : CSoundFile(extension) {}
    int answer = 1;
    int asked = 0;

protected:
    int OnSaveFileDefine(int) override {
        ++asked;
        return GetFileFlag() == MODIFIED_CLEAN ? 1 : answer;
    }
};

// All thirteen windows and all six workers, registered in a model.
class CEngineRig {
public:
    explicit CEngineRig(CDataInfo& model);
    ~CEngineRig();

    // Handles every pending message, then forgets what the windows and workers received.
    void Settle();
    // The windows, in registry order, with their names.
    std::vector<std::pair<const char*, CRecordingWindow*>> Windows();
    // The names of the windows that received WM_DATACHANGE since the last Settle.
    QStringList Told();

    CRecordingWindow userMenu, reverb, conpane, metronomeDlg, stereo, timbreIcon, dualIcon,
        reverbIcon, stereoIcon, metronomeIcon, keyboard, dancingNote, frosted;
    CLoggingPanel piano;
    CLoggingRecorder recorder;
    CLoggingPlayer player;
    CLoggingMetronome metronome;
    CLoggingAudioPlay audioPlay;
    CLoggingAudioRec audioRec;

protected:
    virtual void Forget() {}

private:
    CDataInfo& m_model;
};

// The model with a message window of its own.
class CTestModel : public CDataInfo, public CEngineRig {
public:
    CTestModel() : CEngineRig(static_cast<CDataInfo&>(*this)) {}
    QObject* GetSafeHwnd() override { return &engineWindow; }

    using CDataInfo::PostSpinDataOut;
    using CDataInfo::SetSeqFileNamePro;

    CRecordingWindow engineWindow;

protected:
    void Forget() override { engineWindow.received.clear(); }
};

// The engine's event receiver, which is its own message window.
class CTestSysinfo : public CSysinfo, public CEngineRig {
public:
    CTestSysinfo() : CEngineRig(static_cast<CDataInfo&>(*this)) {}
    using CDataInfo::SetAudFileNamePro;
    using CDataInfo::SetSeqFileNamePro;
};
