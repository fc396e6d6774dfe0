#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

// The Standard MIDI File workspace: three fixed buffers of 1 MiB in which files are read,
// merged and written. Every access is bounds-checked: a read past a buffer's fill gives -1,
// a write past it is ignored, an append to a full buffer is dropped. No file can make it read
// or write outside its buffers.
//
// A buffer that holds a file: bytes 0-13 the header chunk, 14-21 "MTrk" and the track length,
// then the track's events.
class SmfWorkspace {
public:
    static constexpr std::size_t kBufferSize = 1 << 20;
    static constexpr std::size_t kBuffers = 3;
    static constexpr std::size_t kTrackStart = 22;

    SmfWorkspace();

    void Select(int buffer);
    int Current() const { return m_current; }
    // Fill 0, then the header template (format 0, one track, 96 ticks a quarter) and "MTrk".
    void StartAfresh();
    // Bytes 18-21 := fill - 22, big-endian.
    void PatchTrackLength();

    void Append(std::uint8_t byte) {
        std::int32_t& fill = m_fill[m_current];
        if (static_cast<std::size_t>(fill) < kBufferSize) {
            m_buffers[m_current][static_cast<std::size_t>(fill)] = byte;
            ++fill;
        } else {
            m_overflowed[m_current] = true;
        }
    }
    void Append(const std::uint8_t* bytes, std::size_t length);
    // Standard encoding of the value's low 28 bits; a negative value is written as 0.
    void AppendVarLen(std::int64_t value) {
        if (value >= 0 && value < 0x80) {
            Append(static_cast<std::uint8_t>(value)); // the common case: one byte
        } else {
            AppendLongVarLen(value);
        }
    }

    // The byte at a position of a buffer, or -1 outside its fill.
    int ReadAt(int buffer, std::int64_t position) const {
        const std::size_t index = Index(buffer);
        if (position < 0 || position >= m_fill[index]) {
            return -1;
        }
        return m_buffers[index][static_cast<std::size_t>(position)];
    }
    void WriteAt(std::int64_t position, std::uint8_t byte);
    // A variable-length quantity of at most four bytes at position, which advances past it.
    // -1 when it runs past the fill.
    std::int64_t ReadVarLen(int buffer, std::int64_t& position) const {
        std::int64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int byte = ReadAt(buffer, position);
            if (byte < 0) {
                return -1;
            }
            ++position;
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        return value;
    }

    // Replaces the current buffer's content; false for 0 or more than kBufferSize bytes.
    bool Load(const std::uint8_t* bytes, std::size_t length);
    // Writes the current buffer's fill to a file, replacing it only once the whole is
    // written; false when it cannot be written.
    bool WriteFile(const QString& path) const;

    std::int32_t Fill(int buffer) const { return m_fill[Index(buffer)]; }
    // The current buffer for writing in place: its bytes, and its fill set afterwards.
    std::uint8_t* MutableData() { return m_buffers[m_current].get(); }
    void SetFill(std::size_t fill, bool overflowed) {
        m_fill[m_current] = static_cast<std::int32_t>(fill < kBufferSize ? fill : kBufferSize);
        m_overflowed[m_current] = m_overflowed[m_current] || overflowed;
    }
    const std::uint8_t* Data(int buffer) const { return m_buffers[Index(buffer)].get(); }
    bool Full() const { return static_cast<std::size_t>(m_fill[m_current]) >= kBufferSize; }
    // Whether an append to the current buffer was dropped since it was started afresh.
    bool Overflowed() const { return m_overflowed[m_current]; }

    std::int32_t lastError = 0;

private:
    void AppendLongVarLen(std::int64_t value);
    static std::size_t Index(int buffer) {
        return static_cast<std::size_t>(buffer) < kBuffers ? static_cast<std::size_t>(buffer) : 0;
    }

    std::array<std::unique_ptr<std::uint8_t[]>, kBuffers> m_buffers;
    std::array<std::int32_t, kBuffers> m_fill{};
    std::array<bool, kBuffers> m_overflowed{};
    int m_current = 0;
};
