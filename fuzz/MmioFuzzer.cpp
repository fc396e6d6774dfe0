#include "mmsystem.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

// A file of any bytes is walked as a RIFF file the ways the compressor and a general reader
// walk one: the WAVE form, its "fmt " and "data" chunks read in blocks, and every chunk
// descended into and ascended out of, lists inside lists. Whatever the sizes say, no read
// goes outside the buffers given, every read stays within the file, and every walk ends.
namespace {

const std::string& Scratch() {
    static const std::string path =
        "/tmp/cantavo-mmio-fuzz-" + std::to_string(static_cast<long long>(getpid()));
    return path;
}

void Put(const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(Scratch().c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
        std::fclose(file) != 0) {
        std::abort();
    }
}

// What the compressor does with a source.
void ReadWave(HMMIO file, std::size_t fileSize) {
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) {
        return;
    }
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(file, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        return;
    }
    std::vector<char> format(18 + 64);
    const LONG want = static_cast<LONG>(std::min<std::uint32_t>(fmt.cksize, 18 + 64));
    const LONG got = mmioRead(file, format.data(), want);
    if (got > want || static_cast<std::size_t>(fmt.dwDataOffset) + std::max(got, 0) > fileSize) {
        std::abort();
    }
    if (mmioAscend(file, &fmt, 0) != MMSYSERR_NOERROR) {
        return;
    }
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        return;
    }
    std::vector<char> block(1024);
    std::uint64_t total = 0;
    for (;;) {
        const LONG read = mmioRead(file, block.data(), static_cast<LONG>(block.size()));
        if (read < 0 || read > static_cast<LONG>(block.size())) {
            std::abort();
        }
        if (read == 0) {
            break;
        }
        total += static_cast<std::uint64_t>(read);
    }
    if (data.dwDataOffset + total > fileSize) {
        std::abort();
    }
}

// Every chunk, depth first; the number of steps is bounded by the file's size.
void Walk(HMMIO file, const MMCKINFO* parent, int depth, int& steps) {
    while (++steps < 4096) {
        MMCKINFO chunk{};
        if (mmioDescend(file, &chunk, parent, 0) != MMSYSERR_NOERROR) {
            return;
        }
        if ((chunk.ckid == FOURCC_RIFF || chunk.ckid == FOURCC_LIST) && depth < 8) {
            Walk(file, &chunk, depth + 1, steps);
        }
        if (mmioAscend(file, &chunk, 0) != MMSYSERR_NOERROR) {
            return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Put(data, size);
    std::string path = Scratch();
    HMMIO file = mmioOpen(path.data(), nullptr, MMIO_READ);
    if (file == nullptr) {
        std::abort();
    }
    ReadWave(file, size);
    if (mmioSeek(file, 0, MMIO_SEEK_SET) != 0) {
        std::abort();
    }
    int steps = 0;
    Walk(file, nullptr, 0, steps);
    if (mmioClose(file, 0) != MMSYSERR_NOERROR) {
        std::abort();
    }
    return 0;
}
