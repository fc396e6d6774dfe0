#pragma once

#include "SmfWorkspace.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Standard MIDI File reading and writing, all done in the process's one workspace. The
// operations take the workspace's lock, so two threads never mix their buffers.

// Read errors (SmfWorkspace::lastError).
enum E_SMF_ERROR : std::int32_t {
    SMF_OK = 0,
    SMF_CANNOT_OPEN = 1,
    SMF_SHORT_READ = 2,
    SMF_NOT_MIDI = 3,
    SMF_TRACK_PAST_END = 4,
    SMF_TOO_LARGE = 5,
};

// Results of the operations that rewrite a file.
enum E_SMF_RESULT : int {
    SMF_RESULT_OK = 0,
    SMF_RESULT_TOO_LARGE = 4,
    SMF_RESULT_UNREADABLE = 5,
    SMF_RESULT_NOT_WRITTEN = 11,
};

// The memo lookup's text buffer: 32,767 bytes of text and a terminating zero.
constexpr std::size_t kSmfMemoBuffer = 32768;

// Locks the workspace for the caller's scope and hands it out, for tests and tools that look
// at the buffers.
class SmfAccess {
public:
    SmfAccess();
    ~SmfAccess();
    SmfAccess(const SmfAccess&) = delete;
    SmfAccess& operator=(const SmfAccess&) = delete;
    SmfWorkspace& operator*() const;
    SmfWorkspace* operator->() const { return &**this; }
};

// Loads the header and track n (0 = first) of the file into the current buffer; false with
// the workspace's lastError set on failure.
bool SmfReadTrack(SmfWorkspace& workspace, const QString& path, int track);
// Merges the tracks in buffers a and b into the current buffer as one track.
void SmfMergeTracks(SmfWorkspace& workspace, int a, int b);
// Rewrites the file as one track, with bank, program, volume and pan settings added for the
// channels that lack them.
int SmfFlattenFile(const QString& path);
// Writes recorded events (time in ms, length in bytes, the bytes; 3 + length / 4 words each)
// as a one-track file at the given tempo (beats per minute).
int SmfWriteRecording(const std::uint32_t* events, std::size_t words, const QString& path,
                      double initialTick, unsigned int tempo);
// The same at the shared state's tempo.
int SmfWriteRecording(const std::uint32_t* events, std::size_t words, const QString& path,
                      double initialTick);
// Rewrites the file as one track whose memo (the first text event at time 0) is text.
int SmfWriteMemo(const QString& path, const char* text, std::size_t length);
// Finds the memo in a file image: 0 with the text copied to text (at most size - 1 bytes and
// a terminating zero), -1 when there is none.
int SmfFindMemo(const std::uint8_t* image, std::size_t length, char* text,
                std::size_t size = kSmfMemoBuffer);
// Whether the rewriting operations merge all tracks at once from the mapped file (the
// default) or read and merge them one by one; both give the same file.
void SmfSetMapping(bool map);

// The memo of a file image up to its first zero byte; empty when there is none.
QByteArray SmfMemoOf(const QByteArray& image);
