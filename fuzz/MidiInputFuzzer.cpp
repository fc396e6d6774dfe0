#include "CMidiParser.h"
#include "CVirtualPiano.h"

#include <cstddef>
#include <cstdint>

// What arrives on a MIDI input is not under our control: the parser that splits it into
// messages, and the piano's decoder of setting messages, must take any bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CVirtualPiano* const piano = [] {
        auto* made = new CVirtualPiano;
        made->SetActiveSensing(false);
        return made;
    }();
    CMidiParser parser(64);
    std::size_t total = 0;
    parser.Feed(data, size, [&total](const std::uint8_t* bytes, std::size_t length) {
        total += length + (bytes[0] & 1);
    });
    piano->Receive(data, size);
    if (piano->Received().size() > 1000) {
        piano->ClearReceived();
    }
    // Every message the parser hands out lies within what it was given.
    if (total > size * 2) {
        __builtin_trap();
    }
    return 0;
}
