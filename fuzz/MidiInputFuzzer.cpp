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
    parser.Feed(data, size, [](const std::uint8_t* bytes, std::size_t length) {
        // A message is a status byte and its data: at most three bytes, or a
        // system-exclusive message within the limit, from F0 to F7.
        const bool sysex = bytes[0] == 0xF0 && bytes[length - 1] == 0xF7 && length <= 65;
        if (bytes[0] < 0x80 || (!sysex && length > 3)) {
            __builtin_trap();
        }
    });
    piano->Receive(data, size);
    piano->ClearReceived();
    return 0;
}
