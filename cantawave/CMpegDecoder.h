#pragma once

#include "msacm.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// The MPEG Layer-3 decoder of the player: an ACM stream from the file's format record to the
// 16-bit PCM the ACM suggests for it, with one source block and one destination block under a
// prepared stream header.
class CMpegDecoder {
public:
    CMpegDecoder() = default;
    CMpegDecoder(const CMpegDecoder&) = delete;
    CMpegDecoder& operator=(const CMpegDecoder&) = delete;
    ~CMpegDecoder();

    // Opens the stream for the 30-byte format record; false when the ACM cannot decode it.
    bool Open(const MPEGLAYER3WAVEFORMAT& source);
    // The format the stream decodes to (valid after Open).
    const WAVEFORMATEX& Output() const { return m_output; }
    // Allocates the blocks: a source block whose conversion fits in outputBytes, and the
    // destination block of outputBytes; false on failure.
    bool Prepare(std::size_t outputBytes);
    std::uint8_t* Source() { return m_source.get(); }
    std::size_t SourceSize() const { return m_sourceSize; }
    const std::uint8_t* Decoded() const { return m_destination.get(); }
    // Decodes length bytes of the source block (0 drains what the stream still holds); the
    // bytes decoded into the destination block, or -1 when the conversion failed.
    long Convert(std::size_t length);
    // The source bytes the last conversion took in; the rest are to be given again.
    std::size_t Used() const { return m_header.cbSrcLengthUsed; }
    void Close();

private:
    HACMSTREAM m_stream = nullptr;
    WAVEFORMATEX m_output{};
    MPEGLAYER3WAVEFORMAT m_format{};
    ACMSTREAMHEADER m_header{};
    bool m_prepared = false;
    std::unique_ptr<std::uint8_t[]> m_source;
    std::unique_ptr<std::uint8_t[]> m_destination;
    std::size_t m_sourceSize = 0;
    std::size_t m_destinationSize = 0;
};
