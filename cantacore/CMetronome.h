#pragma once

#include "CMetronomeClock.h"
#include "CVeskError.h"
#include "EngineTypes.h"
#include "mmsystem.h"

#include <QByteArray>
#include <atomic>
#include <thread>

// The metronome: a thread that ticks once per eighth note of the tempo, sounds an accent
// (DING) on the first count of each bar and a click (CLICK) on the other beats through the
// piano's audio output, and reports every count to the shared state so that the metronome
// character moves in step. A cycle of counts spans two bars.
//
// The ideal time of each count grows by exactly 30000 / tempo ms from the start, kept in a
// double and never rounded, so the beat does not drift; the thread waits for it on the
// monotonic clock and runs with real-time scheduling where the system grants it. Each sound is
// handed to the device whole, in 100 ms buffers, after a reset of the device: a new count
// always silences the one before.
//
// Every public operation but Initialize, Terminate and IsStop runs under the engine-wide
// transport lock. The operations are virtual so that tests can stand in for the metronome.
class CMetronome {
public:
    enum class ESound { None, Click, Ding };

    static constexpr unsigned int kMinTempo = 40;
    static constexpr unsigned int kMaxTempo = 300;
    // 100 ms of the sounds' format, the size of each buffer handed to the device.
    static constexpr unsigned int kBufferBytes = 17640;

    CMetronome();
    // A metronome whose thread reads and waits on clock, which must outlive it.
    explicit CMetronome(CMetronomeClock& clock);
    CMetronome(const CMetronome&) = delete;
    CMetronome& operator=(const CMetronome&) = delete;
    virtual ~CMetronome();

    void* GetSafeHwnd() { return this; }

    // Loads the two sounds and checks once that the audio output opens. Always succeeds: a
    // sound that is missing is skipped when its count comes.
    virtual CVeskError Initialize();
    // Stops the thread and lets the sounds go.
    virtual CVeskError Terminate();
    // Opens the piano's audio output and starts ticking from the current count. Fails (code
    // 2, the device message) when already running or when the output cannot be opened; no
    // thread runs then.
    virtual CVeskError Start();
    // Ends the thread, lets the last sound ring out and closes the output. Stopping a stopped
    // metronome is harmless: success, with the text (13).
    virtual CVeskError Stop();
    // Back to count 0 for the next start; while running nothing changes (success, text (14)).
    virtual CVeskError Reset();
    virtual void Refresh();
    // Clamped to 40..300; a running metronome uses it from its next interval on.
    virtual void SetTempo(unsigned int tempo);
    // A value outside the six time signatures gives 4/4. The count is left alone.
    virtual void SetBeat(E_BEAT beat);
    // The position in the two-bar cycle, one count per eighth note.
    virtual unsigned int GetMetroBeatCount();
    // 1 when the metronome stands still.
    virtual int IsStop();

    unsigned int GetTempo() const { return m_tempo; }
    E_BEAT GetBeat() const { return m_beat; }

    // Counts in a cycle of the time signature (0 outside the six).
    static unsigned int CycleLength(E_BEAT beat);
    // The count after count; back to 0 at the end of the cycle (always 0 outside the six).
    static unsigned int NextCount(E_BEAT beat, unsigned int count);
    // What sounds at a count: the accent on the first count of each bar, clicks on the beats
    // (on every count in 6/8, on even counts otherwise), nothing past the cycle.
    static ESound SoundAt(E_BEAT beat, unsigned int count);

private:
    static void WaveOutProc(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR first,
                            DWORD_PTR second);
    void ThreadMain();
    // Waits for the next count's ideal time; gives the target that was waited for, moved
    // up to within 2 s of now when the thread was held up for longer.
    std::uint32_t WaitNextCount();
    void SoundCount(unsigned int count);
    void Play(const QByteArray& image, const char* failureLine);
    bool OpenDevice();
    void CloseDevice();
    void ReclaimBuffers();
    // Ends the thread and closes the device; gives the state the thread left.
    int EndThread();

    // The sounds as loaded, and the copies that are played.
    QByteArray m_clickSound;
    QByteArray m_dingSound;
    QByteArray m_clickCopy;
    QByteArray m_dingCopy;

    // Buffers the device has finished with, linked through their user field.
    WAVEHDR* m_doneHead = nullptr;
    WAVEHDR* m_doneTail = nullptr;

    // 0 running or stopped cleanly, 2 a start or stop in progress, 3 no audio device.
    std::atomic<int> m_state{0};
    std::atomic<unsigned int> m_tempo{120};
    std::atomic<E_BEAT> m_beat{BEAT_4_4};
    std::atomic<unsigned int> m_count{0};
    double m_nextTick = 0; // the thread's own: the ideal time of the next count, in ms
    std::atomic<int> m_running{0};

    std::atomic<int> m_outstanding{0}; // buffers handed to the device and not yet reclaimed
    std::atomic<int> m_done{1};
    std::atomic<int> m_keepGoing{0};
    std::atomic<HWAVEOUT> m_device{nullptr};

    CMetronomeClock m_ownClock;
    CMetronomeClock* m_clock;
    std::thread m_thread;
};
