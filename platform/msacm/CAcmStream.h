#pragma once

#include "CAcmConverter.h"

#include <memory>
#include <mutex>

// An open stream: its converter and the calls on it, one at a time. A handle value is the
// address of its object; calls look it up among the open streams first, so a stale or made-up
// handle is refused instead of followed.
struct CAcmStream {
public:
    explicit CAcmStream(std::unique_ptr<CAcmConverter> converter);

    MMRESULT Size(DWORD input, DWORD* output, DWORD flags);
    MMRESULT Prepare(ACMSTREAMHEADER* header);
    MMRESULT Unprepare(ACMSTREAMHEADER* header);
    MMRESULT Convert(ACMSTREAMHEADER* header, DWORD flags);
    MMRESULT Reset();
    // Headers prepared on this stream and not unprepared yet.
    int Prepared() const;

    static HACMSTREAM Register(std::unique_ptr<CAcmStream> stream);
    // The open stream, kept alive while the caller holds it; null when not open.
    static std::shared_ptr<CAcmStream> Lookup(HACMSTREAM handle);
    // Takes the stream out of the open ones; false when it was not open.
    static bool Unregister(HACMSTREAM handle);

private:
    static bool HeaderIsValid(const ACMSTREAMHEADER* header);

    std::unique_ptr<CAcmConverter> m_converter;
    mutable std::mutex m_lock;
    int m_prepared = 0;
};
