#include "mmiscapi.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

// One open file. The position is kept here and every access names its offset (pread,
// pwrite), so reads and writes can alternate freely on a file opened for both.
struct CMmioFile {
    int fd = -1;
    std::int64_t position = 0;
    bool writable = false;
};

namespace {
constexpr std::int64_t kMaxPosition = std::numeric_limits<LONG>::max();

MMRESULT OpenError(int error) {
    switch (error) {
    case ENOENT:
        return MMIOERR_FILENOTFOUND;
    case ENOTDIR:
        return MMIOERR_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return MMIOERR_ACCESSDENIED;
    case EMFILE:
    case ENFILE:
        return MMIOERR_TOOMANYOPENFILES;
    case ENOMEM:
        return MMIOERR_OUTOFMEMORY;
    default:
        return MMIOERR_CANNOTOPEN;
    }
}

HMMIO Failed(MMIOINFO* info, MMRESULT error) {
    if (info != nullptr) {
        info->wErrorRet = error;
    }
    return nullptr;
}

// The non-null value that MMIO_EXIST and MMIO_DELETE return on success: not a handle.
HMMIO Done() {
    static CMmioFile s_notAHandle;
    return &s_notAHandle;
}

// Reads exactly count bytes at the position and moves past them; false at the end or on an
// error (the position is then unchanged).
bool ReadExact(HMMIO file, void* out, std::size_t count) {
    if (file->position + static_cast<std::int64_t>(count) > kMaxPosition + 1) {
        return false;
    }
    auto* bytes = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(file->fd, bytes + done, count - done,
                                    static_cast<off_t>(file->position + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    file->position += static_cast<std::int64_t>(count);
    return true;
}

bool WriteAt(HMMIO file, std::int64_t offset, const void* data, std::size_t count) {
    if (!file->writable || offset < 0 ||
        offset + static_cast<std::int64_t>(count) > kMaxPosition + 1) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put =
            ::pwrite(file->fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void PutLe32(unsigned char* p, std::uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// Where a chunk's data ends, its pad byte included.
std::int64_t ChunkEnd(const MMCKINFO& chunk) {
    return static_cast<std::int64_t>(chunk.dwDataOffset) + chunk.cksize + (chunk.cksize & 1);
}
} // namespace

HMMIO mmioOpen(char* fileName, MMIOINFO* info, DWORD flags) {
    if (info != nullptr) {
        info->wErrorRet = 0;
        if (info->pIOProc != nullptr || (info->fccIOProc != 0 && info->fccIOProc != FOURCC_DOS)) {
            return Failed(info, MMIOERR_CANNOTOPEN);
        }
    }
    if (fileName == nullptr || fileName[0] == '\0' || (flags & (MMIO_PARSE | MMIO_GETTEMP)) != 0) {
        return Failed(info, MMIOERR_CANNOTOPEN);
    }
    if ((flags & MMIO_DELETE) != 0) {
        return ::unlink(fileName) == 0 ? Done() : Failed(info, OpenError(errno));
    }
    if ((flags & MMIO_EXIST) != 0) {
        struct stat status {};
        return ::stat(fileName, &status) == 0 ? Done() : Failed(info, OpenError(errno));
    }
    int mode = O_RDONLY;
    bool writable = false;
    switch (flags & MMIO_RWMODE) {
    case MMIO_READ:
        break;
    case MMIO_WRITE:
        mode = O_WRONLY;
        writable = true;
        break;
    case MMIO_READWRITE:
        mode = O_RDWR;
        writable = true;
        break;
    default:
        return Failed(info, MMIOERR_CANNOTOPEN);
    }
    if ((flags & MMIO_CREATE) != 0) {
        if (!writable) {
            // winmm creates the file even for reading; it can then only read nothing.
            mode = O_RDWR;
        }
        mode |= O_CREAT | O_TRUNC;
    }
    auto* file = new (std::nothrow) CMmioFile;
    if (file == nullptr) {
        return Failed(info, MMIOERR_OUTOFMEMORY);
    }
    // Opened without waiting, then held to a regular file: a FIFO would wait for its other
    // end, and a device node never ends.
    file->fd = ::open(fileName, mode | O_CLOEXEC | O_NONBLOCK, 0666);
    if (file->fd < 0) {
        const int error = errno;
        delete file;
        return Failed(info, error == ENXIO ? MMIOERR_CANNOTOPEN : OpenError(error));
    }
    struct stat status {};
    const int fileFlags = ::fcntl(file->fd, F_GETFL);
    if (::fstat(file->fd, &status) != 0 || !S_ISREG(status.st_mode) || fileFlags < 0 ||
        ::fcntl(file->fd, F_SETFL, fileFlags & ~O_NONBLOCK) != 0) {
        ::close(file->fd);
        delete file;
        return Failed(info, MMIOERR_CANNOTOPEN);
    }
    file->writable = writable;
    if (info != nullptr) {
        info->hmmio = file;
        info->dwFlags = flags;
    }
    return file;
}

MMRESULT mmioClose(HMMIO file, UINT flags) {
    if (file == nullptr || file == Done()) {
        return MMIOERR_CANNOTCLOSE;
    }
    MMRESULT result = MMSYSERR_NOERROR;
    if ((flags & MMIO_FHOPEN) == 0 && ::close(file->fd) != 0) {
        // A delayed write error shows itself here.
        result = MMIOERR_CANNOTWRITE;
    }
    delete file;
    return result;
}

LONG mmioRead(HMMIO file, HPSTR buffer, LONG count) {
    if (file == nullptr || file == Done() || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    std::int64_t done = 0;
    while (done < count && file->position + done <= kMaxPosition) {
        const std::int64_t want =
            std::min<std::int64_t>(count - done, kMaxPosition + 1 - (file->position + done));
        const ssize_t got = ::pread(file->fd, buffer + done, static_cast<std::size_t>(want),
                                    static_cast<off_t>(file->position + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    file->position += done;
    return static_cast<LONG>(done);
}

LONG mmioWrite(HMMIO file, const char* buffer, LONG count) {
    if (file == nullptr || file == Done() || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    if (!WriteAt(file, file->position, buffer, static_cast<std::size_t>(count))) {
        return -1;
    }
    file->position += count;
    return count;
}

LONG mmioSeek(HMMIO file, LONG offset, int origin) {
    if (file == nullptr || file == Done()) {
        return -1;
    }
    std::int64_t base = 0;
    switch (origin) {
    case MMIO_SEEK_SET:
        break;
    case MMIO_SEEK_CUR:
        base = file->position;
        break;
    case MMIO_SEEK_END: {
        struct stat status {};
        if (::fstat(file->fd, &status) != 0) {
            return -1;
        }
        base = status.st_size;
        break;
    }
    default:
        return -1;
    }
    const std::int64_t target = base + offset;
    if (target < 0 || target > kMaxPosition) {
        return -1;
    }
    file->position = target;
    return static_cast<LONG>(target);
}

MMRESULT mmioFlush(HMMIO file, UINT) {
    if (file == nullptr || file == Done()) {
        return MMIOERR_CANNOTWRITE;
    }
    return 0;
}

MMRESULT mmioDescend(HMMIO file, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags) {
    if (file == nullptr || file == Done() || chunk == nullptr) {
        return MMIOERR_CHUNKNOTFOUND;
    }
    const FOURCC wantedId = (flags & MMIO_FINDRIFF) != 0   ? FOURCC_RIFF
                            : (flags & MMIO_FINDLIST) != 0 ? FOURCC_LIST
                                                           : chunk->ckid;
    const FOURCC wantedType = chunk->fccType;
    const bool searching = (flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
    const bool byType = (flags & (MMIO_FINDRIFF | MMIO_FINDLIST)) != 0;
    // A parent's end bounds the search; a parent whose size runs past the file is cut by the
    // file's end below, when a read fails.
    const std::int64_t limit = parent != nullptr ? ChunkEnd(*parent) : kMaxPosition + 1;

    for (;;) {
        const std::int64_t start = file->position;
        if (start + 8 > limit) {
            return MMIOERR_CHUNKNOTFOUND;
        }
        unsigned char head[8];
        if (!ReadExact(file, head, sizeof head)) {
            return MMIOERR_CHUNKNOTFOUND;
        }
        MMCKINFO found{};
        found.ckid = Le32(head);
        found.cksize = Le32(head + 4);
        found.dwDataOffset = static_cast<std::uint32_t>(start + 8);
        const bool hasType = found.ckid == FOURCC_RIFF || found.ckid == FOURCC_LIST;
        if (hasType) {
            unsigned char type[4];
            if (start + 12 > limit || !ReadExact(file, type, sizeof type)) {
                return MMIOERR_CHUNKNOTFOUND;
            }
            found.fccType = Le32(type);
        }
        const bool match =
            !searching || (found.ckid == wantedId && (!byType || found.fccType == wantedType));
        if (match) {
            *chunk = found;
            return MMSYSERR_NOERROR;
        }
        // Skip this chunk. Its end may lie beyond the parent or the file (a damaged size);
        // then the next header read fails and the search ends.
        const std::int64_t next = ChunkEnd(found);
        if (next > kMaxPosition) {
            return MMIOERR_CHUNKNOTFOUND;
        }
        file->position = next;
    }
}

MMRESULT mmioAscend(HMMIO file, MMCKINFO* chunk, UINT) {
    if (file == nullptr || file == Done() || chunk == nullptr) {
        return MMIOERR_CANNOTSEEK;
    }
    if ((chunk->dwFlags & MMIO_DIRTY) != 0) {
        const std::int64_t written = file->position - chunk->dwDataOffset;
        if (written < 0 || written > std::numeric_limits<std::uint32_t>::max()) {
            return MMIOERR_CANNOTSEEK;
        }
        const auto size = static_cast<std::uint32_t>(written);
        if (size != chunk->cksize) {
            unsigned char field[4];
            PutLe32(field, size);
            if (!WriteAt(file, static_cast<std::int64_t>(chunk->dwDataOffset) - 4, field, 4)) {
                return MMIOERR_CANNOTWRITE;
            }
            chunk->cksize = size;
        }
        if ((size & 1) != 0) {
            const char pad = 0;
            if (!WriteAt(file, chunk->dwDataOffset + static_cast<std::int64_t>(size), &pad, 1)) {
                return MMIOERR_CANNOTWRITE;
            }
        }
        chunk->dwFlags &= ~MMIO_DIRTY;
    }
    const std::int64_t end = ChunkEnd(*chunk);
    if (end > kMaxPosition) {
        return MMIOERR_CANNOTSEEK;
    }
    file->position = end;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioCreateChunk(HMMIO file, MMCKINFO* chunk, UINT flags) {
    if (file == nullptr || file == Done() || chunk == nullptr) {
        return MMIOERR_CANNOTWRITE;
    }
    if ((flags & MMIO_CREATERIFF) != 0) {
        chunk->ckid = FOURCC_RIFF;
    } else if ((flags & MMIO_CREATELIST) != 0) {
        chunk->ckid = FOURCC_LIST;
    }
    const bool hasType = (flags & (MMIO_CREATERIFF | MMIO_CREATELIST)) != 0;
    unsigned char head[12];
    PutLe32(head, chunk->ckid);
    PutLe32(head + 4, chunk->cksize);
    PutLe32(head + 8, chunk->fccType);
    const std::size_t length = hasType ? 12 : 8;
    const std::int64_t start = file->position;
    if (start + static_cast<std::int64_t>(length) > kMaxPosition) {
        return MMIOERR_CANNOTSEEK;
    }
    if (!WriteAt(file, start, head, length)) {
        return MMIOERR_CANNOTWRITE;
    }
    chunk->dwDataOffset = static_cast<std::uint32_t>(start + 8);
    chunk->dwFlags = MMIO_DIRTY;
    file->position = start + static_cast<std::int64_t>(length);
    return MMSYSERR_NOERROR;
}
