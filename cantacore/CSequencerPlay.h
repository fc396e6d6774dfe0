#pragma once

#include "CSeqSong.h"
#include "CSeqTranslator.h"
#include "CVeskError.h"
#include "mmsystem.h"

#include <QString>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// Plays a Standard MIDI File through the piano's MIDI output as a MIDI stream. The file is
// prepared once (CSeqSong); a ring of 32 buffers is fed to the stream, each refilled in the
// stream's callback as it comes back, so what the user changes meanwhile (key, tempo, panel
// settings that win over the file's) is heard within the span of the queued buffers. The
// file's settings are mirrored into the shared state as they sound, the position is reported
// in bars, beats and ticks, and the panel's long messages travel in the stream while it is
// open (CPendingInserts).
//
// Positions are engine ticks, 96 a quarter note. The public operations run under the
// engine-wide transport lock; the player thread, the stream callback and the stopping thread
// hand over through atomics.
class CSequencerPlay {
public:
    static constexpr int kBuffers = 32;
    static constexpr std::size_t kBufferSize = 2048;

    // Results of the stream steps, besides the multimedia codes.
    static constexpr MMRESULT kGeneralFailure = 13; // no sequence, or a step failed
    static constexpr MMRESULT kWrongState = 0x112;  // preroll in a state that allows none
    static constexpr MMRESULT kPropertyRefused = 0x114;
    static constexpr MMRESULT kChaseTooLarge = 2; // the settings to restore fill no buffer

    // Sequence states.
    enum State : int {
        kNoSequence = 0,
        kStopped = 1,
        kFilling = 2,
        kPrerolled = 3,
        kPlaying = 4,
        kStopping = 6,
        kResetting = 7,
    };

    CSequencerPlay();
    CSequencerPlay(const CSequencerPlay&) = delete;
    CSequencerPlay& operator=(const CSequencerPlay&) = delete;
    virtual ~CSequencerPlay();

    void* GetSafeHwnd() { return this; }

    // Choose the piano's MIDI output and put the piano on basic channel 1.
    virtual CVeskError Initialize();
    virtual CVeskError Terminate();
    virtual CVeskError Refresh();

    // Opens the file for playback; a file that cannot be played leaves none open, and the
    // reason is kept (OpenError) and given by the next Start.
    virtual void SetFileName(const QString& path);
    virtual CVeskError Start();
    // Stops playback and waits for the player thread.
    virtual CVeskError Stop();
    virtual CVeskError Rewind();
    virtual CVeskError Forward();
    virtual CVeskError First();
    // The user's tempo in the packed form of CConverter::TempoToWire.
    virtual void SetTempo(unsigned int packedTempo);
    // The key as 64 + semitones (59..70).
    virtual void SetKey(int key);

    int GetMIDIOutDev() const { return m_outDev; }
    void SetMIDIOutDev(int device);
    // Rescales one tempo stream event in place by the user's tempo, within 40..300 BPM.
    void TempoConvert(DWORD* event);

    bool IsOpen() const { return m_state.load() != kNoSequence; }
    bool IsPlaying() const { return m_threadState.load() == 1; }
    int GetState() const { return m_state; }
    CVeskError OpenError() const;
    std::int64_t GetPosition() const { return m_position; }
    std::int64_t GetSongLength() const { return m_songLength; }
    unsigned int GetFileTempo() const { return m_fileTempo; }
    unsigned int GetBeatWord() const { return m_beatWord; }
    int GetKeyShift() const { return m_keyShift; }
    // When the stream last started (steady clock, nanoseconds): where its time line begins.
    std::int64_t GetRestartTime() const { return m_restartNs; }

protected:
    MMRESULT OpenSeq(const QString& path);
    MMRESULT SetSeq();
    MMRESULT PrerollSeq(std::int64_t from, std::int64_t to);
    MMRESULT StartSeq();
    MMRESULT StopSeq();
    void CloseSeq();
    MMRESULT midi_play_start();
    void midi_play_stop();
    void PlayThreadFunc();
    // The stream is stopped from a thread of its own, which takes the stopping lock.
    static void StreamStoperProc(HMIDISTRM stream);

private:
    static void StreamProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR first,
                           DWORD_PTR second);
    void OnBufferDone(MIDIHDR* header);
    // Fills buffer i from the waiting inserts and the file; its byte count.
    std::size_t FillBuffer(int i);
    bool QueueBuffer(int i);
    void ReportEvents(const MIDIHDR& header);
    // Stops the stream, waits for its buffers and closes it.
    void CloseStream();
    void AllNotesOff(bool fully);
    void MoveTo(std::int64_t position);
    void ChooseDevice();
    unsigned int TicksPerBeat() const;
    unsigned int BeatsPerBar() const;

    mutable std::mutex m_nameLock;
    QString m_fileName;
    CVeskError m_openError;

    // The song and the translator, used by one thread at a time: the caller of the
    // preroll, then the stream's callback.
    std::mutex m_fillLock;
    std::unique_ptr<CSeqSong> m_song;
    std::unique_ptr<CSeqTranslator> m_translator;
    std::unique_ptr<std::array<std::array<std::uint8_t, kBufferSize>, kBuffers>> m_buffers;
    std::array<MIDIHDR, kBuffers> m_headers{};

    std::atomic<HMIDISTRM> m_stream{nullptr};
    std::atomic<int> m_state{kNoSequence};
    std::atomic<bool> m_endOfData{false};
    std::atomic<int> m_queued{0};
    std::atomic<int> m_outDev{-1};

    std::atomic<std::int64_t> m_songLength{0};
    std::atomic<std::int64_t> m_position{0};
    std::atomic<std::int64_t> m_startPosition{0};
    std::atomic<std::int64_t> m_pauseTicks{0}; // file ticks of the pause after a chase
    std::atomic<double> m_factor{1.0};
    std::atomic<unsigned int> m_fileTempo{120};
    std::atomic<unsigned int> m_beatWord{0x0204};
    std::atomic<int> m_keyShift{0};
    std::atomic<double> m_ratio{1.0};
    std::atomic<DWORD> m_lastTempo{500000};
    std::atomic<std::int64_t> m_restartNs{0};

    std::thread m_playThread;
    std::atomic<int> m_runRequest{0};
    std::atomic<int> m_threadState{0}; // 0 idle, 1 running, 2 finished
    std::atomic<int> m_startResult{-1};
};
