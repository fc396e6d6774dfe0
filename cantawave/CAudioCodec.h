#pragma once

#include "CVeskError.h"
#include "CVeskToy.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>

class CWmaCompress;

// Makes a compressed copy of a WAV file: WMA (through wmaconv's CWmaCompress) or MP3 (through
// the audio compression manager, stored as a RIFF/WAVE file whose format is MPEG Layer-3).
// The destination's extension chooses, without regard to case.
//
// AudioCompress runs the conversion on a worker thread and waits for it on the calling
// (window) thread, which keeps dispatching its messages meanwhile, so windows stay alive and
// may poll GetProgress to draw a progress bar. The copy is written under a hidden name beside
// the destination and takes the destination's name only once it is complete: a failed
// conversion leaves no destination behind, and an existing file of that name untouched.
class CAudioCodec {
public:
    CAudioCodec();
    CAudioCodec(const CAudioCodec&) = delete;
    CAudioCodec& operator=(const CAudioCodec&) = delete;
    virtual ~CAudioCodec();

    // Converts source (a ".wav" file) into destination (".mp3" or ".wma"). Every failure is
    // code 1 with the same text; the caller shows its own messages.
    CVeskError AudioCompress(const QString& source, const QString& destination);
    // The MP3 conversion proper, writing destination directly: 0 on success, -1 for a source
    // that is not a RIFF/WAVE file with "fmt " and "data" chunks, otherwise the failing
    // file or compression manager call's own code.
    unsigned int AcmCompress(const char* source, const char* destination);

    static unsigned int WmaCompThread(void* codec);
    static unsigned int Mp3CompThread(void* codec);

    // The fraction of the source converted so far, from 0 to 1; any thread may ask.
    double GetProgress() const { return m_progress; }

private:
    void Finish(unsigned int result);
    CVeskError Fail(const QString& reason);

    QString m_destination;
    QString m_source;
    std::atomic<int> m_done{0};
    unsigned int m_result = 0;
    CVeskToy m_toy;
    std::atomic<double> m_progress{0.0};
    std::atomic<bool> m_busy{false};
    CWmaCompress* m_wma = nullptr;
    std::mutex m_doneLock;
    std::condition_variable m_doneSignal;
};
