#include "Smf.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unistd.h>
#include <vector>

// Recorded events come from the recorder, but their lengths and times must still never make
// the writer read past them or past its workspace.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> words(size / 4);
    if (!words.empty()) {
        std::memcpy(words.data(), data, words.size() * 4);
    }
    static const QString path =
        QStringLiteral("/tmp/cantavo-rec-fuzz-%1.mid").arg(static_cast<long long>(getpid()));
    const unsigned int tempo = size > 0 ? 40 + data[0] : 120;
    SmfWriteRecording(words.data(), words.size(), path, 0.0, tempo);
    return 0;
}
