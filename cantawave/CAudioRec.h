#pragma once

#include "CDummy.h"
#include "CVeskError.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// Records the piano's USB audio input into a WAV file (PCM, 2 channels, 44100 Hz, 16 bits).
// The device fills a ring of 50 buffers of 200 ms (10 s in all, allocated at the first Start
// and reused); a recording thread writes every finished buffer to the file and reports the
// elapsed time, the device callback reports the level meter. The engine is reached only
// through CDummy.
//
// The file is a valid WAV at every moment: it starts as an empty WAV, and its two size fields
// follow the samples written (at least once a second, always after the samples they count
// have been synced to the disk), so a crash or a power loss leaves a file that plays up to its
// last second. A finished recording's header holds data + 38 and the data size exactly.
//
// A recording ends by itself, keeping a complete file, when the drive of the file has less
// than 11 MiB free, when it reaches the largest size a RIFF file can hold (about 6 h 45 min),
// when a write fails (the file is then deleted), or when the device goes away (it refuses a
// buffer back; what it captured until then is written). The engine is told through
// CDummy::StopAudRecFromMiddle and shown the reason through CDummy::ErrorMessageFromMiddle.
// That notice comes from a thread of its own that takes the public lock after the recording
// thread has ended, so a user's Stop that holds the public lock at the same moment never
// waits for it; a notice that finds the recording already stopped by the user only shows its
// message.
//
// Start, Stop, Save, Refresh and StopFromMiddle take the public lock (slot 88). Construction
// is cheap: no thread, device or buffer exists before Start.
class CAudioRec {
public:
    static constexpr unsigned kSampleRate = 44100;
    static constexpr unsigned kChannels = 2;
    static constexpr unsigned kBlockAlign = 4;
    static constexpr unsigned kBytesPerSecond = kSampleRate * kBlockAlign;
    static constexpr unsigned kBufferCount = 50;
    static constexpr unsigned kBufferBytes = kBytesPerSecond / 5; // 200 ms
    static constexpr unsigned kHeaderBytes = 46;
    // Below this many free bytes on the drive of the file, a recording ends by itself.
    static constexpr std::uint64_t kMinFreeBytes = 11u * 1024 * 1024;
    // The most sample bytes a RIFF file holds: its RIFF size (data + 38) must fit in 32 bits.
    static constexpr std::uint64_t kMaxDataBytes = (0xFFFFFFFFull - 38) / kBlockAlign * kBlockAlign;

    CAudioRec();
    CAudioRec(const CAudioRec&) = delete;
    CAudioRec& operator=(const CAudioRec&) = delete;
    // Terminate.
    virtual ~CAudioRec();

    // The path of the next recording.
    virtual CVeskError SetFileName(const QString& path);
    QString GetFileName() const;
    // Opens the device, creates the file and starts recording.
    virtual CVeskError Start();
    // Ends the recording, waits for the thread and closes the device; the file is complete
    // when it returns. Success without a recording, and after one that ended by itself (its
    // notice told the user), except when its device went away: that take is cut short, and
    // Stop says so with the device message.
    virtual CVeskError Stop();
    // Success: the file is complete when Stop returns.
    virtual CVeskError Save();
    virtual CVeskError Initialize();
    // Stops a running recording.
    virtual CVeskError Terminate();
    // Takes and releases the public lock.
    virtual CVeskError Refresh();
    // Under the public lock, tells the engine that the recording ended by itself.
    virtual CVeskError StopFromMiddle();
    // Shows the disk-full message through the engine.
    virtual CVeskError ErrorMessageFromMiddle();
    virtual void PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right);

    // True from Start until the recording thread has ended.
    bool IsRecording() const;
    // Sample bytes written to the file by the current or last recording.
    std::uint64_t WrittenBytes() const;

    // The level-meter step 0..20 of a peak 0..32768.
    static E_AUDLEVELOUT LevelStep(unsigned peak);

protected:
    // Seams of the recording thread, for tests and benchmarks.
    // Free bytes on the file system holding folder; none when it cannot be asked.
    virtual std::optional<std::uint64_t> FreeBytes(const QString& folder);
    // The most sample bytes a recording may hold.
    virtual std::uint64_t MaxDataBytes() const { return kMaxDataBytes; }
    // Writes the bytes at the offset of the open file; returns what write(2) returns.
    virtual long WriteFile(int fd, const void* bytes, std::size_t length, std::uint64_t offset);

private:
    struct CState;
    friend struct CAudioRecAccess;

    void Record();
    void BufferDone(void* header);
    void Notify(std::uint64_t generation, int ended);
    void EndBySelf(int reason);
    bool WriteAll(const void* bytes, std::size_t length, std::uint64_t offset, int* error);
    bool WriteSizes(std::uint64_t dataBytes);
    bool StillOurFile() const;
    // Deletes the take, but only while its name still leads to it: a file put under that name
    // meanwhile is someone else's.
    void RemoveOurFile() const;
    void CloseDevice();
    void Retire();

    std::unique_ptr<CState> m_state;
};
