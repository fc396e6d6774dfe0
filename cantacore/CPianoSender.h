#pragma once

#include "mmsystem.h"

#include <cstddef>
#include <cstdint>

// How the piano-control messages reach the piano. While the player's stream is open a short
// message goes out on it at once and a long one joins the stream's events (CPendingInserts);
// otherwise the piano's MIDI output is opened for the one
// message and closed again. A message that cannot be sent is dropped (-1): the protocol has no
// way to report it.
class CPianoSender {
public:
    // The output device for the piano's messages: the player's choice once it chose one,
    // otherwise the device watch's MIDI output.
    static void SetMIDIOutDev(int device);
    static int GetMIDIOutDev();

    static int SendPianoShortMsg(DWORD message);
    static int SendPianoLongMsg(const std::uint8_t* bytes, std::size_t length);

    // The largest long message sent without a stream.
    static constexpr std::size_t kLongBuffer = 1024;
};
