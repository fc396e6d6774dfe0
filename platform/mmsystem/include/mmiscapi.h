#pragma once

// RIFF file input and output (winmm's mmio functions): open, read, write and seek a file, and
// walk or build its chunks. Names, types, constants and results are winmm's. A file is
// untrusted input: chunk sizes are checked against the file and the parent chunk, never
// trusted to index memory, and a search that runs off the end says so
// (MMIOERR_CHUNKNOTFOUND) instead of reading past it.
//
// Positions are those of winmm: signed 32-bit offsets, so a file is read or written up to
// 2 GiB - 1 bytes through these functions. Files are unbuffered here (every read and write
// goes to the file), which gives the same results as winmm's buffered mode; MMIO_ALLOCBUF and
// the sharing flags are accepted and change nothing.

#include "mmsystem.h"

#include <cstdint>

using FOURCC = std::uint32_t;
using HPSTR = char*;
using LONG = std::int32_t;
struct CMmioFile;
using HMMIO = CMmioFile*;
using LPMMIOPROC = LONG (*)(char* info, unsigned message, std::intptr_t first,
                            std::intptr_t second);

constexpr FOURCC mmioFOURCC(char ch0, char ch1, char ch2, char ch3) {
    return static_cast<FOURCC>(static_cast<unsigned char>(ch0)) |
           (static_cast<FOURCC>(static_cast<unsigned char>(ch1)) << 8) |
           (static_cast<FOURCC>(static_cast<unsigned char>(ch2)) << 16) |
           (static_cast<FOURCC>(static_cast<unsigned char>(ch3)) << 24);
}
constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');
constexpr FOURCC FOURCC_DOS = mmioFOURCC('D', 'O', 'S', ' ');
constexpr FOURCC FOURCC_MEM = mmioFOURCC('M', 'E', 'M', ' ');

// Result codes.
constexpr MMRESULT MMIOERR_BASE = 256;
constexpr MMRESULT MMIOERR_FILENOTFOUND = MMIOERR_BASE + 1;
constexpr MMRESULT MMIOERR_OUTOFMEMORY = MMIOERR_BASE + 2;
constexpr MMRESULT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
constexpr MMRESULT MMIOERR_CANNOTCLOSE = MMIOERR_BASE + 4;
constexpr MMRESULT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
constexpr MMRESULT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
constexpr MMRESULT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
constexpr MMRESULT MMIOERR_CANNOTEXPAND = MMIOERR_BASE + 8;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;
constexpr MMRESULT MMIOERR_UNBUFFERED = MMIOERR_BASE + 10;
constexpr MMRESULT MMIOERR_PATHNOTFOUND = MMIOERR_BASE + 11;
constexpr MMRESULT MMIOERR_ACCESSDENIED = MMIOERR_BASE + 12;
constexpr MMRESULT MMIOERR_SHARINGVIOLATION = MMIOERR_BASE + 13;
constexpr MMRESULT MMIOERR_NETWORKERROR = MMIOERR_BASE + 14;
constexpr MMRESULT MMIOERR_TOOMANYOPENFILES = MMIOERR_BASE + 15;
constexpr MMRESULT MMIOERR_INVALIDFILE = MMIOERR_BASE + 16;

// mmioOpen flags.
constexpr DWORD MMIO_RWMODE = 0x00000003;
constexpr DWORD MMIO_SHAREMODE = 0x00000070;
constexpr DWORD MMIO_CREATE = 0x00001000;
constexpr DWORD MMIO_PARSE = 0x00000100;
constexpr DWORD MMIO_DELETE = 0x00000200;
constexpr DWORD MMIO_EXIST = 0x00004000;
constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
constexpr DWORD MMIO_GETTEMP = 0x00020000;
constexpr DWORD MMIO_DIRTY = 0x10000000;
constexpr DWORD MMIO_READ = 0x00000000;
constexpr DWORD MMIO_WRITE = 0x00000001;
constexpr DWORD MMIO_READWRITE = 0x00000002;
constexpr DWORD MMIO_COMPAT = 0x00000000;
constexpr DWORD MMIO_EXCLUSIVE = 0x00000010;
constexpr DWORD MMIO_DENYWRITE = 0x00000020;
constexpr DWORD MMIO_DENYREAD = 0x00000030;
constexpr DWORD MMIO_DENYNONE = 0x00000040;

// mmioClose flag.
constexpr UINT MMIO_FHOPEN = 0x0010;

// mmioDescend flags.
constexpr UINT MMIO_FINDCHUNK = 0x0010;
constexpr UINT MMIO_FINDRIFF = 0x0020;
constexpr UINT MMIO_FINDLIST = 0x0040;
// mmioCreateChunk flags.
constexpr UINT MMIO_CREATERIFF = 0x0020;
constexpr UINT MMIO_CREATELIST = 0x0040;

// mmioSeek origins (as SEEK_SET, SEEK_CUR, SEEK_END).
constexpr int MMIO_SEEK_SET = 0;
constexpr int MMIO_SEEK_CUR = 1;
constexpr int MMIO_SEEK_END = 2;

struct MMIOINFO {
    std::uint32_t dwFlags;
    FOURCC fccIOProc;
    LPMMIOPROC pIOProc;
    UINT wErrorRet; // why mmioOpen failed
    void* htask;
    LONG cchBuffer;
    HPSTR pchBuffer;
    HPSTR pchNext;
    HPSTR pchEndRead;
    HPSTR pchEndWrite;
    LONG lBufOffset;
    LONG lDiskOffset;
    std::uint32_t adwInfo[3];
    std::uint32_t dwReserved1;
    std::uint32_t dwReserved2;
    HMMIO hmmio;
};
using LPMMIOINFO = MMIOINFO*;

struct MMCKINFO {
    FOURCC ckid;
    std::uint32_t cksize;       // of the data part; for RIFF and LIST it counts the form type
    FOURCC fccType;             // form or list type of RIFF and LIST chunks
    std::uint32_t dwDataOffset; // file offset of the data part (of the form type for RIFF)
    std::uint32_t dwFlags;      // MMIO_DIRTY: made by mmioCreateChunk, size fixed on ascent
};
using LPMMCKINFO = MMCKINFO*;

// Opens a file: MMIO_READ, MMIO_WRITE or MMIO_READWRITE, with MMIO_CREATE to create or truncate
// it. MMIO_EXIST only checks that the file exists and MMIO_DELETE deletes it (neither returns an
// open handle: both give a non-null value on success that must not be used). On failure the
// result is null and info->wErrorRet (when info is given) says why. Only files on disk
// (no I/O procedures, no memory files, no MMIO_PARSE or MMIO_GETTEMP).
HMMIO mmioOpen(char* fileName, MMIOINFO* info, DWORD flags);
// 0, or MMIOERR_CANNOTWRITE when data could not be brought to the file.
MMRESULT mmioClose(HMMIO file, UINT flags);
// The number of bytes read (0 at the end of the file), or -1 on an error.
LONG mmioRead(HMMIO file, HPSTR buffer, LONG count);
// The number of bytes written, or -1 on an error.
LONG mmioWrite(HMMIO file, const char* buffer, LONG count);
// The new position from the start of the file, or -1 (a position before the start or beyond
// what a LONG holds). Seeking beyond the end is allowed; reading there gives 0 bytes.
LONG mmioSeek(HMMIO file, LONG offset, int origin);
MMRESULT mmioFlush(HMMIO file, UINT flags);

// Descends into the chunk at the current position (flags 0), or searches from the current
// position for a chunk with chunk->ckid (MMIO_FINDCHUNK), or a "RIFF" or "LIST" chunk of form
// chunk->fccType (MMIO_FINDRIFF, MMIO_FINDLIST), up to the end of the parent when one is given
// or else of the file. On success the position is at the start of the chunk's data (after the
// form type for "RIFF" and "LIST"). MMIOERR_CHUNKNOTFOUND when the end was reached first; the
// position is then undefined.
MMRESULT mmioDescend(HMMIO file, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags);
// Leaves the chunk: for a chunk made by mmioCreateChunk, its size is set to the bytes written
// into it and a pad byte is added after an odd size; the position moves past the chunk's end
// (and its pad byte). MMIOERR_CANNOTWRITE or MMIOERR_CANNOTSEEK on a file error.
MMRESULT mmioAscend(HMMIO file, MMCKINFO* chunk, UINT flags);
// Writes a chunk header at the current position: chunk->ckid and chunk->cksize, and
// chunk->fccType for MMIO_CREATERIFF and MMIO_CREATELIST (which also set the identifier). The
// chunk is marked MMIO_DIRTY so that mmioAscend fixes its size.
MMRESULT mmioCreateChunk(HMMIO file, MMCKINFO* chunk, UINT flags);
