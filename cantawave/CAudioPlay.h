#pragma once

#include "CDummy.h"
#include "CVeskError.h"
#include "mmsystem.h"

#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

class CMpegDecoder;
class CPlayEvent;
class CSimplePlayer;
class CWaveLayout;

// Plays one audio file from the album through the piano's audio output and reports, while it
// plays, the position in milliseconds (CDummy::PostAudTimeDisp) and a two-channel level meter
// (CDummy::PostAudLevelMeter); a file that plays to its end, or whose playback fails on the
// way, tells the engine once (CDummy::StopAudPlayFromMiddle) and goes back to position 0.
//
// Three kinds of file:
// - RIFF/WAVE with 16-bit stereo PCM at any rate, the "data" chunk right after "fmt ":
//   streamed from the file to the wave output in 200 ms buffers;
// - RIFF/WAVE whose format is MPEG Layer-3 (tag 0x55): decoded through msacm and streamed the
//   same way;
// - anything that is not RIFF (WMA, MP3, FLAC, ...): played by wmaconv's CSimplePlayer, which
//   opens the wave output itself and calls back for every buffer and at the end.
// Other RIFF files (mono, 8 or 24 bits, a chunk between "fmt " and "data") are refused with
// the format message.
//
// A playback thread feeds the device up to 25 buffers (5 s) ahead and takes back the buffers
// the device has finished with; the device's callback only queues them. Positions come from
// the device's sample counter. First, Rewind and Forward move the position the next Start
// begins at; they do not seek a running playback.
//
// Construction is cheap: no thread and no device before Start. Start, Stop, First, Rewind,
// Forward, SetFileName and Refresh run under the engine-wide transport lock. The operations
// are virtual so that tests of the engine can stand in for the player.
class CAudioPlay {
public:
    // What is playing.
    enum EMode : std::uint16_t {
        kIdle = 0,
        kPcm = 1,
        kMpegLayer3 = 0x55,
        kPlayer = 0xFFFF,
    };

    // Result codes: ERR_VESK_OK, and
    //   ERR_VESK_FAILED (2)       with kUnexpected, kNoFile or kDeviceMessage,
    //   ERR_VESK_REFUSED (1)      with kFormatMessage,
    //   ERR_VESK_THREAD_START (5) with kThreadMessage,
    //   ERR_VESK_PAST_END (8)     with kUnexpected (Forward, clamped to the duration).
    static const QString kUnexpected; // "予期せぬエラーが発生しました。(1)"
    static const QString kNoFile; // "アルバムからオーディオファイルを選んでください。"
    static const QString kFormatMessage; // "このオーディオファイルフォーマットは..."
    static const QString kDeviceMessage; // "オーディオデバイスを使用することができません。..."
    static const QString kThreadMessage; // "beginthread AudioThreadCall failed."

    // 200 ms of 16-bit stereo at 44100 Hz: the size of every buffer given to the device.
    static constexpr std::size_t kBufferBytes = 35280;
    // Buffers the feeder keeps ahead of the device at most.
    static constexpr int kMaxAhead = 25;

    CAudioPlay();
    CAudioPlay(const CAudioPlay&) = delete;
    CAudioPlay& operator=(const CAudioPlay&) = delete;
    // Terminates.
    virtual ~CAudioPlay();

    void* GetSafeHwnd() { return this; }

    // Succeeds; there is nothing to prepare before the first Start.
    virtual CVeskError Initialize();
    // Stops and closes whatever is open; after it, the player does nothing more.
    virtual CVeskError Terminate();
    // Makes path the file to play, measures its duration (0 when unknown) and goes to
    // position 0. Always succeeds; a file that cannot be played says so at Start.
    virtual CVeskError SetFileName(const QString& path);
    // Plays from the current position. Fails with: kUnexpected (code 2) while playing;
    // kNoFile (2) without a readable file; kFormatMessage (1) for a format it cannot play;
    // kDeviceMessage (2) when the piano's audio output does not open. After a failure the
    // position is 0 and nothing is open. A successful start returns 200 ms after the thread
    // began feeding.
    virtual CVeskError Start();
    // Stops playback, waits for the thread and closes the device; no end notice follows.
    // Always succeeds, whatever state the player is in.
    virtual CVeskError Stop();
    // Position 0, reported.
    virtual CVeskError First();
    // One second back, not below 0, reported.
    virtual CVeskError Rewind();
    // One second on; past the duration it stays at the duration and the result is code 8
    // with kUnexpected. Reported either way.
    virtual CVeskError Forward();
    // Waits for any transport operation in progress; nothing else.
    virtual CVeskError Refresh();

    QString GetFileName() const;
    // Length of the current file in milliseconds, 0 when unknown.
    unsigned int GetDuration() const { return m_duration; }
    // The position in milliseconds: where playback is, or where the next Start begins.
    unsigned int GetPosition() const { return m_position; }
    EMode GetMode() const { return m_mode; }
    bool IsPlaying() const { return m_mode.load() != kIdle; }

    // The level-meter step of a peak sample value (0..32768): 21 steps on the square root,
    // 0 for silence and 20 for full scale.
    static E_AUDLEVELOUT LevelOfPeak(unsigned int peak);
    // The steps of the left and right peaks of 16-bit little-endian stereo frames; a partial
    // frame at the end is not counted.
    static void MeasureLevels(const void* bytes, std::size_t length, E_AUDLEVELOUT& left,
                              E_AUDLEVELOUT& right);

private:
    struct Block;

    // Callbacks of the wave output and of the general player.
    static void WaveOutProc(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR first,
                            DWORD_PTR second);
    static void WmaWaveoutCallback(void* instance, WAVEHDR* header);
    static void WmaPlayEof(void* instance);

    unsigned int MeasureDuration(const QString& path);
    unsigned int MeasurePlayerDuration(const QString& path);
    CVeskError StartRiff(const CWaveLayout& layout);
    CVeskError StartMpegLayer3(const CWaveLayout& layout);
    CVeskError StartPlayer();
    void StopPlayer();
    CVeskError OpenDevice();
    void CloseDevice();
    void CloseDecoder();
    // Joins a thread that has ended or is ending by itself.
    void CollectThread();

    void ThreadMain();
    void StreamLoop();
    void PlayerLoop();
    bool PrepareChunks();
    bool PrepareDecoderChunks();
    // The next piece of sound in m_chunk; 0 at the end or on failure.
    std::size_t NextChunk(const std::uint8_t*& data);
    std::size_t NextDecodedChunk(const std::uint8_t*& data);
    // Hands length bytes to the device; false (and the thread error set) on failure.
    bool Feed(const std::uint8_t* data, std::size_t length);
    // Waits until the device has handed back every buffer.
    void DrainBuffers();
    void UpdatePosition();
    void ReclaimBuffers();
    void BackToStart();
    void StopFromMiddle();
    void ReportPosition(unsigned int milliseconds);
    void ReportLevels(const void* bytes, std::size_t length);

    std::atomic<unsigned int> m_duration{0};
    // Set when Stop begins: no more levels, positions or end notice.
    std::atomic<int> m_stopRequested{0};
    bool m_terminated = false;
    std::atomic<CSimplePlayer*> m_player{nullptr};
    // Held while the player is stopped from outside and while the thread deletes it.
    std::mutex m_playerLock;
    std::atomic<EMode> m_mode{kIdle};
    EMode m_streaming = kIdle; // what the thread plays, fixed before it starts
    CVeskError m_threadError;  // the playback thread's own while it runs

    WAVEFORMATEX m_outFormat{};
    bool m_hasOutFormat = false;
    std::unique_ptr<CMpegDecoder> m_decoder;
    // Set by the general player when it has let go of everything.
    std::shared_ptr<CPlayEvent> m_finished;

    std::atomic<int> m_outstanding{0};
    std::atomic<int> m_done{1};
    std::atomic<int> m_keepGoing{0};
    std::atomic<int> m_started{0};
    // The thread's own while it runs: the file, the bytes of sound not yet read, the chunk.
    std::FILE* m_file = nullptr;
    std::uint32_t m_remaining = 0;
    std::unique_ptr<std::uint8_t[]> m_chunk;
    std::size_t m_chunkCapacity = 0;
    std::size_t m_pending = 0; // source bytes the decoder has not taken in yet

    // Finished buffers, linked through their user field (queue lock).
    WAVEHDR* m_doneHead = nullptr;
    WAVEHDR* m_doneTail = nullptr;

    QString m_fileName;
    std::atomic<unsigned int> m_position{0};
    // The sample the device's counter starts from (position lock).
    std::uint64_t m_startSample = 0;
    std::atomic<unsigned int> m_sampleRate{0};

    // The open device; closed and reset under this lock, so that a stop never resets a handle
    // the thread has just closed.
    std::mutex m_deviceLock;
    std::atomic<HWAVEOUT> m_device{nullptr};
    // The device whose sample counter gives the position: this player's or the general
    // player's (position lock).
    HWAVEOUT m_positionDevice = nullptr;
    std::thread m_thread;
};
