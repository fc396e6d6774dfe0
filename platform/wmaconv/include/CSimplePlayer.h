#pragma once

#include "CPlayEvent.h"
#include "wmaconv.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CMediaDecoder;

// Plays one audio file of any format that FFmpeg decodes (WMA, FLAC, Ogg Vorbis, Opus,
// AAC/M4A, MP3 ...) through a wave output device. The audio is converted to 16-bit stereo at
// the file's rate if the device takes it, else at 44100 or 48000 Hz, and fed by a thread of
// the player in buffers of 200 ms, a few seconds ahead of the device.
//
// The wave output stays open from StartPlay until the player is destroyed, so its handle
// (Get_hwo) can be asked for positions at any time in between; positions in samples count
// from the start position given to StartPlay.
class CSimplePlayer {
public:
    // result receives S_OK (the player holds no resource before StartPlay). The callbacks
    // may be null; instance is passed back to them.
    CSimplePlayer(HRESULT* result, void* instance, WMAWAVEOUTCALLBACK bufferCallback,
                  WMAPLAYEOFCALLBACK eofCallback);
    CSimplePlayer(const CSimplePlayer&) = delete;
    CSimplePlayer& operator=(const CSimplePlayer&) = delete;
    // Stops playing and closes the device.
    virtual ~CSimplePlayer();

    // Opens path, seeks to startMs, opens the wave output deviceId and starts the feeding
    // thread. flags must be 0. finished (may be null) is set when playing has ended, by
    // itself or through StopPlay; result (may be null) receives the value returned.
    // Fails with WMACONV_E_FILEOPEN, WMACONV_E_FORMAT, WMACONV_E_NODEVICE, WMACONV_E_BUSY or
    // E_INVALIDARG, and then holds nothing open and sets no event.
    virtual HRESULT StartPlay(const char* path, DWORD startMs, DWORD flags,
                              std::shared_ptr<CPlayEvent> finished, HRESULT* result, UINT deviceId);
    // Stops playing: the device is reset, the thread ends, the finished event is set and the
    // end-of-file callback is not called. Returns when all that is done; harmless when
    // nothing plays.
    virtual HRESULT StopPlay();

    // The length of the file in milliseconds, without playing it.
    HRESULT GetDuration(const char* path, DWORD* durationMs);

    // The open wave output, or null before StartPlay.
    HWAVEOUT Get_hwo() const;
    // The format handed to the device (valid for the life of the player), or null before
    // StartPlay.
    const WAVEFORMATEX* Get_wfx() const;
    // How playing ended: S_OK at the end of the file or after StopPlay, else why it failed;
    // S_FALSE while it plays.
    HRESULT GetPlayResult() const;

private:
    struct Buffers;

    HRESULT Start(const char* path, DWORD startMs, DWORD flags,
                  std::shared_ptr<CPlayEvent> finished, UINT deviceId);
    void Feed();
    // Takes the buffers the device handed back (reporting each when report is true); how many.
    std::size_t TakeReturned(bool report);
    std::size_t Queued() const;
    bool DevicePresent() const;
    void CloseDevice();
    static void DeviceProc(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR first,
                           DWORD_PTR second);

    void* m_instance;
    WMAWAVEOUTCALLBACK m_bufferCallback;
    WMAPLAYEOFCALLBACK m_eofCallback;

    std::mutex m_controlLock; // StartPlay, StopPlay and destruction, one at a time
    std::unique_ptr<Buffers> m_buffers;
    std::unique_ptr<CMediaDecoder> m_decoder; // the feeder's while it runs
    std::shared_ptr<CPlayEvent> m_finished;
    WAVEFORMATEX m_format{};
    UINT m_deviceId = 0;
    std::string m_deviceName; // to notice the device going away
    std::atomic<HWAVEOUT> m_device{nullptr};
    std::atomic<bool> m_formatValid{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_threadEnded{true};
    std::atomic<HRESULT> m_playResult{S_FALSE};
    std::atomic<std::thread::id> m_feederId{};
    std::thread m_thread;
};
