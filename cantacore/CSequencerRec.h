#pragma once

#include "CVeskError.h"
#include "mmsystem.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// Owns the piano's MIDI input, which stays open for the engine's whole life: it is also the
// way settings changed on the piano reach the PC. Every message that arrives goes to the
// control panel with the recorder as source. While a recording runs, the channel-1 messages,
// the short system-exclusive messages and the settings changed meanwhile are kept with their
// times and written as a Standard MIDI File when the recording stops.
class CSequencerRec {
public:
    static constexpr std::size_t kEventWords = 262144; // 1 MiB of recorded events
    static constexpr std::size_t kMemoLimit = 10230;

    CSequencerRec();
    CSequencerRec(const CSequencerRec&) = delete;
    CSequencerRec& operator=(const CSequencerRec&) = delete;
    virtual ~CSequencerRec();

    void* GetSafeHwnd() { return this; }

    // Opens the input on the piano's MIDI input, as the device watch finds it.
    virtual CVeskError Initialize();
    virtual CVeskError Terminate();
    // Closes and reopens the input (the piano came back).
    virtual CVeskError Refresh();

    virtual void SetFileName(const QString& path);
    virtual CVeskError Start();
    // Ends a recording and writes it.
    virtual CVeskError Stop();
    virtual CVeskError Save();
    // Puts the memo into the recording, or into the saved file.
    virtual CVeskError SetMemo(const QString& memo);
    // Records the settings in force (at the start of a recording).
    virtual void RefreshOut();
    void SetMIDIInDev(int device);

    // Each takes the wire value (see CConverter) and stores it; while a recording runs the
    // main voice, dual voice, beat, tempo and reverb are recorded too.
    virtual void SetBeat(unsigned int timeSig);
    virtual void SetTempo(unsigned int packedTempo);
    virtual void SetDefTimbre(unsigned int program);
    virtual void SetDualTimbre(unsigned int program);
    virtual void SetReverbOffOn(unsigned int value);
    virtual void SetBrilliance(unsigned int value);
    virtual void SetTouchSense(unsigned int value);
    virtual void SetTranspose(unsigned int value);
    virtual void SetTuning(unsigned int value);
    virtual void SetSeqVol(unsigned int volume);

    bool IsRecording() const { return m_recording; }
    bool InputIsOpen() const { return m_input.load() != nullptr; }
    // Recomputes the bar and beat for the elapsed time and shows them when they changed.
    void SetRecBeat(std::uint32_t milliseconds);

private:
    static void InputProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR first,
                          DWORD_PTR second);
    void OnData(DWORD message, DWORD stamp);
    void OnLongData(MIDIHDR* header, DWORD stamp);
    // The recording's time of an input time stamp; the first event sets the time base.
    std::uint32_t NoteTime(DWORD stamp);
    MMRESULT OpenInput();
    void CloseInput();
    void AddEvent(std::uint32_t time, const std::uint8_t* bytes, std::size_t length);
    std::uint32_t Elapsed() const;
    void RecThreadFunc();

    std::atomic<int> m_inDev{-1};
    mutable std::mutex m_nameLock;
    QString m_fileName;
    QByteArray m_memo; // the recorder's own memo text: always empty

    std::atomic<unsigned int> m_beat{0x0204};
    std::atomic<unsigned int> m_tempo{0x20A107};
    std::atomic<unsigned int> m_program{0};
    std::atomic<unsigned int> m_dual{255};
    std::atomic<unsigned int> m_reverb{1};
    std::atomic<unsigned int> m_brilliance{64};
    std::atomic<unsigned int> m_touch{64};
    std::atomic<unsigned int> m_transpose{64};
    std::atomic<unsigned int> m_tuning{64};
    std::atomic<unsigned int> m_volume{100};

    // The input.
    std::atomic<HMIDIIN> m_input{nullptr};
    char m_sysex[2][1024];
    MIDIHDR m_headers[2];
    // Closing: the input's buffers are being handed back; Closed once all are.
    enum class InputState { Running, Closing, Closed };
    std::atomic<InputState> m_inputState{InputState::Closed};
    std::atomic<int> m_buffersOut{0};

    // The recording.
    std::atomic<bool> m_recording{false};
    std::atomic<bool> m_firstEvent{false};
    std::mutex m_eventsLock;
    std::vector<std::uint32_t> m_events;
    std::size_t m_fill = 0;
    std::atomic<std::int64_t> m_timeBase{0}; // steady ms at which the stamps began
    std::atomic<std::uint32_t> m_lastStamp{0};
    // The memo: its placeholder at time 0 goes in at the start; one given later is written
    // into the file when the recording stops.
    std::atomic<bool> m_memoPlaced{false};
    std::mutex m_memoLock;
    QByteArray m_lateMemo;
    bool m_hasLateMemo = false;
    // Added to the input's stamps: how far the recording had come when the input reopened.
    std::atomic<std::uint32_t> m_stampOffset{0};
    std::atomic<std::uint32_t> m_elapsed{0};
    std::atomic<int> m_lastBar{-1};
    std::atomic<int> m_lastBeat{-1};

    std::atomic<bool> m_threadRuns{false};
    std::atomic<bool> m_threadStop{false};
    std::thread m_thread;
};
