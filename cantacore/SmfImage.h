#pragma once

#include "SmfErrors.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

// A MIDI file read whole into memory. Only regular files are read: a pipe or a device could
// block the caller or never end. Reading copies the bytes, so a file that another program
// shortens or rewrites meanwhile gives some bytes, never a fault.
class SmfImage {
public:
    // Far more than any file whose tracks could fit the workspace, unless it is mostly chunks
    // of other kinds; larger files are refused as too large.
    static constexpr std::size_t kLargestFile = std::size_t{16} << 20;

    E_SMF_ERROR Read(const QString& path);

    const std::uint8_t* Data() const { return m_bytes.data(); }
    std::int64_t Size() const { return static_cast<std::int64_t>(m_bytes.size()); }

private:
    std::vector<std::uint8_t> m_bytes;
};
