#pragma once

#include "SmfErrors.h"
#include "SmfWorkspace.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Standard MIDI File reading and writing, all done in the process's one workspace. The
// operations take the workspace's lock, so two threads never mix their buffers. Every file is
// read whole into memory first (regular files only) and its chunks and events are walked
// there, with every access bounds-checked. A file that is rewritten is replaced only once the
// new one is complete; one that is refused stays byte for byte as it was.

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

// Loads the header and track n (0 = first) of the file into the current buffer, as it stands
// in the file (a track whose stated length stops short read on to its end); false with the
// workspace's lastError set on failure, SMF_NO_SUCH_TRACK when the file has fewer tracks.
bool SmfReadTrack(SmfWorkspace& workspace, const QString& path, int track);
// Merges the tracks in buffers a and b into the current buffer (which must be neither) as one
// track, in time order, a first on equal times. SMF_RESULT_OK, SMF_RESULT_PARTLY_READ when a
// track ended at an event that could not be read, SMF_RESULT_TOO_LARGE when the result does
// not fit (it is then cut short), SMF_RESULT_NOT_WRITTEN when the current buffer is a or b.
int SmfMergeTracks(SmfWorkspace& workspace, int a, int b);
// Rewrites the file as one track, with bank, program, volume and pan settings added for the
// channels that lack them; for playback, which works on its own copy. A track with an event
// that cannot be read is taken up to that event (SMF_RESULT_PARTLY_READ; the file is
// written). A file cut short, with a track too large, or not a MIDI file is left unchanged
// (SMF_RESULT_TOO_LARGE, SMF_RESULT_UNREADABLE).
int SmfFlattenFile(const QString& path);
// Writes recorded events (time in ms, length in bytes, the bytes; 3 + length / 4 words each)
// as a one-track file at the given tempo (beats per minute).
int SmfWriteRecording(const std::uint32_t* events, std::size_t words, const QString& path,
                      double initialTick, unsigned int tempo);
// Rewrites the user's file as one track whose memo is text: the text event that SmfFindMemo
// finds is replaced; without one, the memo goes before every other text event at time 0, so
// that SmfFindMemo finds it. Any file that cannot be read whole, to the end of every track,
// is refused and left unchanged (SMF_RESULT_UNREADABLE, SMF_RESULT_TOO_LARGE).
int SmfWriteMemo(const QString& path, const char* text, std::size_t length);
// Finds the memo in a file image: the first text event (FF 01) among the events at time 0 of
// the first track of a format-0 file or of a file of one track. 0 with the text copied to
// text (at most size - 1 bytes and a terminating zero), -1 when there is none.
int SmfFindMemo(const std::uint8_t* image, std::size_t length, char* text,
                std::size_t size = kSmfMemoBuffer);

// The memo of a file image up to its first zero byte; empty when there is none.
QByteArray SmfMemoOf(const QByteArray& image);
