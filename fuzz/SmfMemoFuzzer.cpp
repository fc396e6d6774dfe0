#include "Smf.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The memo lookup reads album files as they are: any image, any length, and a text buffer
// that must never be overrun.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char> text(64);
    if (SmfFindMemo(data, size, text.data(), text.size()) == 0 && text.back() != '\0' &&
        std::find(text.begin(), text.end(), '\0') == text.end()) {
        __builtin_trap(); // the text must end in a zero within the buffer
    }
    return 0;
}
