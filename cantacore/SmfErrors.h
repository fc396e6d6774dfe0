#pragma once

#include <cstdint>

// Why a MIDI file could not be read (SmfWorkspace::lastError).
enum E_SMF_ERROR : std::int32_t {
    SMF_OK = 0,
    // Missing, not readable, or not a regular file (a pipe, a device, a folder).
    SMF_CANNOT_OPEN = 1,
    // The file ends inside its header or inside a chunk header, or reading it failed.
    SMF_SHORT_READ = 2,
    // No "MThd" at the start or after a 128-byte preamble, a header shorter than 6 bytes, or
    // no track at all.
    SMF_NOT_MIDI = 3,
    // A chunk runs past the end of the file (the file was cut short).
    SMF_TRACK_PAST_END = 4,
    // A track, with what is read on past its stated length, does not fit a workspace buffer;
    // or the file is larger than any file that could be read.
    SMF_TOO_LARGE = 5,
    // The file has no track of the number asked for: its chunks end before it.
    SMF_NO_SUCH_TRACK = 6,
};

// Results of the operations that rewrite a file.
enum E_SMF_RESULT : int {
    SMF_RESULT_OK = 0,
    // Flattening only: written, but a track holds an event that cannot be read (a stray status
    // byte, a length past its chunk, a number that never ends); that track was taken up to it.
    SMF_RESULT_PARTLY_READ = 1,
    SMF_RESULT_TOO_LARGE = 4,
    SMF_RESULT_UNREADABLE = 5,
    SMF_RESULT_NOT_WRITTEN = 11,
};
