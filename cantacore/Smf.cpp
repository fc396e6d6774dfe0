#include "Smf.h"

#include "CDataInfo.h"
#include "CLast.h"
#include "CSysinfo.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <queue>
#include <vector>

namespace {

std::atomic<bool> g_mapFiles{true};

std::recursive_mutex& WorkspaceLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

SmfWorkspace& Workspace() {
    static auto* workspace = new SmfWorkspace;
    return *workspace;
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return (static_cast<std::uint32_t>(bytes[0]) << 24) |
           (static_cast<std::uint32_t>(bytes[1]) << 16) |
           (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
}

bool Is(const std::uint8_t* bytes, const char* tag) {
    return std::memcmp(bytes, tag, 4) == 0;
}

class CFileCloser {
public:
    explicit CFileCloser(std::FILE* file) : m_file(file) {}
    ~CFileCloser() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    CFileCloser(const CFileCloser&) = delete;
    CFileCloser& operator=(const CFileCloser&) = delete;

private:
    std::FILE* m_file;
};

bool Fail(SmfWorkspace& workspace, E_SMF_ERROR error) {
    workspace.lastError = error;
    return false;
}

// Whether the bytes hold FF 2F 00 anywhere.
bool HasEndOfTrack(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i + 2 < length; ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0x2F && bytes[i + 2] == 0x00) {
            return true;
        }
    }
    return false;
}

std::size_t DataBytes(int status) {
    const int kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

// One track being walked by a merge, read straight from its buffer.
struct Source {
    const std::uint8_t* data;
    std::int64_t fill;
    std::int64_t position = SmfWorkspace::kTrackStart;
    std::int64_t time = 0;
    int running = 0;
    bool done = false;
    std::int64_t end = 0;

    int At(std::int64_t at) const { return at >= 0 && at < fill ? data[at] : -1; }
    // A variable-length quantity of at most four bytes; -1 when it runs past the fill.
    std::int64_t VarLen(std::int64_t& at) const {
        std::int64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at >= fill) {
                return -1;
            }
            const std::uint8_t byte = data[at++];
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        return value;
    }
    void Finish() {
        done = true;
        end = time;
    }
    void NextDelta() {
        const std::int64_t delta = VarLen(position);
        if (delta < 0) {
            Finish();
            return;
        }
        time += delta;
    }
};

// Writes into the current buffer in place; what does not fit is dropped and remembered.
class Writer {
public:
    explicit Writer(SmfWorkspace& workspace)
        : m_workspace(workspace), m_data(workspace.MutableData()),
          m_fill(static_cast<std::size_t>(workspace.Fill(workspace.Current()))) {}
    ~Writer() { m_workspace.SetFill(m_fill, m_overflowed); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void Byte(std::uint8_t byte) {
        if (m_fill < SmfWorkspace::kBufferSize) {
            m_data[m_fill++] = byte;
        } else {
            m_overflowed = true;
        }
    }
    void Bytes(const std::uint8_t* bytes, std::size_t length) {
        const std::size_t room = SmfWorkspace::kBufferSize - m_fill;
        const std::size_t part = length < room ? length : room;
        std::memcpy(m_data + m_fill, bytes, part);
        m_fill += part;
        m_overflowed = m_overflowed || part < length;
    }
    void VarLen(std::int64_t value) {
        if (value >= 0 && value < 0x80) {
            Byte(static_cast<std::uint8_t>(value));
            return;
        }
        const auto bits = static_cast<std::uint32_t>(value < 0 ? 0 : value & 0x0FFFFFFF);
        bool started = false;
        for (int shift = 21; shift > 0; shift -= 7) {
            const auto group = static_cast<std::uint8_t>((bits >> shift) & 0x7F);
            if (group != 0 || started) {
                Byte(static_cast<std::uint8_t>(group | 0x80));
                started = true;
            }
        }
        Byte(static_cast<std::uint8_t>(bits & 0x7F));
    }

private:
    SmfWorkspace& m_workspace;
    std::uint8_t* m_data;
    std::size_t m_fill;
    bool m_overflowed = false;
};

// Merges any number of tracks into the current buffer as one, in time order; on equal times
// the track given first goes first. With dropMemo, the first text event of the first track is
// left out when it stands at the time of the event written just before it (the memo being
// replaced).
void MergeSources(SmfWorkspace& workspace, std::vector<Source>& sources, bool dropMemo) {
    workspace.StartAfresh();
    using Next = std::pair<std::int64_t, std::size_t>; // time, track
    std::priority_queue<Next, std::vector<Next>, std::greater<>> queue;
    std::int64_t end = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        sources[i].NextDelta();
        if (sources[i].done) {
            end = std::max(end, sources[i].end);
        } else {
            queue.emplace(sources[i].time, i);
        }
    }
    std::int64_t lastTime = 0;
    int lastStatus = 0;
    bool firstTextSeen = false;
    {
        Writer out(workspace);
        const auto writeDelta = [&](std::int64_t time) {
            out.VarLen(time - lastTime);
            lastTime = time;
        };
        while (!queue.empty()) {
            const std::size_t pick = queue.top().second;
            queue.pop();
            Source& source = sources[pick];
            bool finished = false;
            const int status = source.At(source.position);
            if (status < 0) {
                finished = true;
            } else if (status == 0xF0 || status == 0xF7) {
                std::int64_t position = source.position + 1;
                const std::int64_t length = source.VarLen(position);
                if (length < 0 || position + length > source.fill) {
                    finished = true;
                } else {
                    writeDelta(source.time);
                    out.Byte(static_cast<std::uint8_t>(status));
                    out.VarLen(length);
                    out.Bytes(source.data + position, static_cast<std::size_t>(length));
                    lastStatus = 0;
                    source.running = 0;
                    source.position = position + length;
                }
            } else if (status == 0xFF) {
                std::int64_t position = source.position + 2;
                const int type = source.At(source.position + 1);
                const std::int64_t length = type < 0 ? -1 : source.VarLen(position);
                if (length < 0 || position + length > source.fill || type == 0x2F) {
                    finished = true;
                    source.position = length < 0 ? source.position : position + length;
                } else {
                    source.running = 0;
                    source.position = position + length;
                    const bool firstText = type == 0x01 && pick == 0 && !firstTextSeen;
                    if (type == 0x01 && pick == 0) {
                        firstTextSeen = true;
                    }
                    if (!(dropMemo && firstText && source.time == lastTime)) {
                        writeDelta(source.time);
                        out.Byte(0xFF);
                        out.Byte(static_cast<std::uint8_t>(type));
                        out.VarLen(length);
                        out.Bytes(source.data + position, static_cast<std::size_t>(length));
                        lastStatus = 0;
                    }
                }
            } else if (status < 0xF0) {
                int message = status;
                std::int64_t position = source.position + 1;
                if (status < 0x80) {
                    message = source.running;
                    position = source.position;
                }
                const auto count = static_cast<std::int64_t>(DataBytes(message));
                if (message == 0 || position + count > source.fill) {
                    finished = true;
                } else {
                    source.running = message;
                    writeDelta(source.time);
                    if (message != lastStatus) {
                        out.Byte(static_cast<std::uint8_t>(message));
                        lastStatus = message;
                    }
                    out.Byte(source.data[position] & 0x7F);
                    if (count == 2) {
                        out.Byte(source.data[position + 1] & 0x7F);
                    }
                    source.position = position + count;
                }
            } else {
                finished = true; // F1 to FE cannot stand in a track
            }
            if (!finished) {
                source.NextDelta();
            } else {
                source.Finish();
            }
            if (source.done) {
                end = std::max(end, source.end);
            } else {
                queue.emplace(source.time, pick);
            }
        }
        out.VarLen(end - lastTime);
        const std::uint8_t endOfTrack[3] = {0xFF, 0x2F, 0x00};
        out.Bytes(endOfTrack, 3);
    }
    workspace.PatchTrackLength();
}

// The merge of SmfMergeTracks, of two buffers of the workspace.
void Merge(SmfWorkspace& workspace, int a, int b, bool dropMemo) {
    std::vector<Source> sources{Source{workspace.Data(a), workspace.Fill(a)},
                                Source{workspace.Data(b), workspace.Fill(b)}};
    MergeSources(workspace, sources, dropMemo);
}

// The tracks of a file image, each as SmfReadTrack would load it: found by walking the chunks
// (after an optional 128-byte preamble), stopping at the first track that could not be read,
// and a track whose length stops short of its end of track read on to it, as far as a buffer
// holds.
std::vector<Source> TracksOf(const std::uint8_t* image, std::int64_t size) {
    std::vector<Source> tracks;
    std::int64_t start = 0;
    if (size < 14 || !Is(image, "MThd")) {
        if (size < 128 + 14 || !Is(image + 128, "MThd")) {
            return tracks;
        }
        start = 128;
    }
    const std::int64_t headerLength = BigEndian32(image + start + 4);
    if (headerLength < 6) {
        return tracks;
    }
    std::int64_t position = start + 8 + headerLength;
    for (;;) {
        if (position + 8 > size || !Is(image + position, "MTrk")) {
            break;
        }
        const std::int64_t length = BigEndian32(image + position + 4);
        const std::int64_t data = position + 8;
        const auto room =
            static_cast<std::int64_t>(SmfWorkspace::kBufferSize - SmfWorkspace::kTrackStart);
        if (data + length > size || length > room) {
            break;
        }
        std::int64_t held = length;
        if (!HasEndOfTrack(image + data, static_cast<std::size_t>(length))) {
            // Read on to FF 2F 00 or the end of the file; what the buffer cannot hold is lost.
            std::int64_t at = data + length;
            int last[3] = {-1, -1, -1};
            while (at < size) {
                last[0] = last[1];
                last[1] = last[2];
                last[2] = image[at++];
                if (last[0] == 0xFF && last[1] == 0x2F && last[2] == 0x00) {
                    break;
                }
            }
            held = std::min(at - data, room);
        }
        Source track{image + data, held};
        track.position = 0;
        tracks.push_back(track);
        position = data + length;
    }
    return tracks;
}

// Reads every track of the file into one, in buffer 0 or 1 (returned); the header of track 0
// into header. A result other than SMF_RESULT_OK when the first track cannot be read.
int ReadAllTracks(SmfWorkspace& workspace, const QString& path, std::uint8_t (&header)[14],
                  int& accumulated) {
    workspace.Select(0);
    if (!SmfReadTrack(workspace, path, 0)) {
        return workspace.lastError == SMF_TOO_LARGE ? SMF_RESULT_TOO_LARGE : SMF_RESULT_UNREADABLE;
    }
    std::memcpy(header, workspace.Data(0), sizeof header);
    accumulated = 0;

    // All tracks merged in one pass, straight from the file: the same result as merging them
    // one by one into the tracks before, without going over the earlier ones again and again.
    QFile file(path);
    const uchar* image = g_mapFiles && file.open(QIODevice::ReadOnly) && file.size() > 0
                             ? file.map(0, file.size())
                             : nullptr;
    if (image != nullptr) {
        std::vector<Source> tracks = TracksOf(image, file.size());
        if (tracks.size() > 1) {
            workspace.Select(1);
            MergeSources(workspace, tracks, false);
            accumulated = 1;
        }
        file.unmap(const_cast<uchar*>(image));
        if (workspace.Overflowed()) {
            return SMF_RESULT_TOO_LARGE;
        }
        workspace.lastError = SMF_OK;
        return SMF_RESULT_OK;
    }

    for (int track = 1;; ++track) {
        workspace.Select(2);
        if (!SmfReadTrack(workspace, path, track)) {
            break;
        }
        const int next = accumulated == 0 ? 1 : 0;
        workspace.Select(next);
        Merge(workspace, accumulated, 2, false);
        if (workspace.Overflowed()) {
            return SMF_RESULT_TOO_LARGE;
        }
        accumulated = next;
    }
    workspace.lastError = SMF_OK;
    return SMF_RESULT_OK;
}

// Puts the file's own header back on the one track in the current buffer and writes it over
// the file.
int Finish(SmfWorkspace& workspace, const QString& path, const std::uint8_t (&header)[14]) {
    if (workspace.Overflowed()) {
        return SMF_RESULT_TOO_LARGE;
    }
    for (int i = 0; i < 14; ++i) {
        workspace.WriteAt(i, header[i]);
    }
    workspace.WriteAt(10, 0x00);
    workspace.WriteAt(11, 0x01);
    workspace.PatchTrackLength();
    return workspace.WriteFile(path) ? SMF_RESULT_OK : SMF_RESULT_NOT_WRITTEN;
}

} // namespace

void SmfSetMapping(bool map) {
    g_mapFiles = map;
}

SmfAccess::SmfAccess() {
    WorkspaceLock().lock();
}

SmfAccess::~SmfAccess() {
    WorkspaceLock().unlock();
}

SmfWorkspace& SmfAccess::operator*() const {
    return Workspace();
}

bool SmfReadTrack(SmfWorkspace& workspace, const QString& path, int track) {
    workspace.lastError = SMF_OK;
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (file == nullptr) {
        return Fail(workspace, SMF_CANNOT_OPEN);
    }
    const CFileCloser closer(file);
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return Fail(workspace, SMF_SHORT_READ);
    }
    const std::int64_t size = std::ftell(file);
    std::rewind(file);

    std::uint8_t header[14];
    if (std::fread(header, 1, sizeof header, file) != sizeof header) {
        return Fail(workspace, SMF_SHORT_READ);
    }
    std::int64_t start = 0;
    if (!Is(header, "MThd")) {
        // Some files carry a 128-byte preamble before the header.
        start = 128;
        if (std::fseek(file, start, SEEK_SET) != 0 ||
            std::fread(header, 1, sizeof header, file) != sizeof header) {
            return Fail(workspace, SMF_SHORT_READ);
        }
        if (!Is(header, "MThd")) {
            return Fail(workspace, SMF_NOT_MIDI);
        }
    }
    const std::int64_t headerLength = BigEndian32(header + 4);
    if (headerLength < 6) {
        return Fail(workspace, SMF_NOT_MIDI);
    }
    std::int64_t position = start + 8 + headerLength;
    std::uint8_t chunk[8];
    if (std::fseek(file, position, SEEK_SET) != 0 ||
        std::fread(chunk, 1, sizeof chunk, file) != sizeof chunk) {
        return Fail(workspace, SMF_SHORT_READ);
    }
    position += 8;
    if (!Is(chunk, "MTrk")) {
        return Fail(workspace, SMF_NOT_MIDI);
    }
    for (int skipped = 0; skipped < track; ++skipped) {
        const std::int64_t length = BigEndian32(chunk + 4);
        if (position + length > size) {
            return Fail(workspace, SMF_TRACK_PAST_END);
        }
        position += length;
        if (std::fseek(file, position, SEEK_SET) != 0 ||
            std::fread(chunk, 1, sizeof chunk, file) != sizeof chunk) {
            return Fail(workspace, SMF_SHORT_READ);
        }
        position += 8;
        if (!Is(chunk, "MTrk")) {
            return Fail(workspace, SMF_NOT_MIDI);
        }
    }
    const std::int64_t length = BigEndian32(chunk + 4);
    if (position + length > size) {
        return Fail(workspace, SMF_NOT_MIDI);
    }
    if (length + static_cast<std::int64_t>(SmfWorkspace::kTrackStart) >
        static_cast<std::int64_t>(SmfWorkspace::kBufferSize)) {
        return Fail(workspace, SMF_TOO_LARGE);
    }
    workspace.StartAfresh();
    // Exactly the 14 header bytes, then the track chunk's header.
    for (int i = 0; i < 14; ++i) {
        workspace.WriteAt(i, header[i]);
    }
    const int current = workspace.Current();
    if (workspace.AppendFromFile(file, static_cast<std::size_t>(length)) !=
        static_cast<std::size_t>(length)) {
        return Fail(workspace, SMF_SHORT_READ);
    }
    // A track length that stops short of the end of track is read on to it.
    if (!HasEndOfTrack(workspace.Data(current) + SmfWorkspace::kTrackStart,
                       static_cast<std::size_t>(length))) {
        int last[3] = {-1, -1, -1};
        for (int byte = std::fgetc(file); byte != EOF; byte = std::fgetc(file)) {
            workspace.Append(static_cast<std::uint8_t>(byte));
            last[0] = last[1];
            last[1] = last[2];
            last[2] = byte;
            if (last[0] == 0xFF && last[1] == 0x2F && last[2] == 0x00) {
                break;
            }
        }
    }
    workspace.PatchTrackLength();
    workspace.lastError = SMF_OK;
    return true;
}

void SmfMergeTracks(SmfWorkspace& workspace, int a, int b) {
    Merge(workspace, a, b, false);
}

int SmfFlattenFile(const QString& path) {
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    std::uint8_t header[14];
    int accumulated = 0;
    if (const int result = ReadAllTracks(workspace, path, header, accumulated);
        result != SMF_RESULT_OK) {
        return result;
    }

    // Which channels set their program, volume and pan themselves.
    bool program[16] = {}, volume[16] = {}, pan[16] = {};
    {
        Source walk{workspace.Data(accumulated), workspace.Fill(accumulated)};
        const std::int64_t fill = workspace.Fill(accumulated);
        while (walk.position < fill) {
            if (workspace.ReadVarLen(accumulated, walk.position) < 0) {
                break;
            }
            const int status = workspace.ReadAt(accumulated, walk.position);
            if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
                std::int64_t position = walk.position + (status == 0xFF ? 2 : 1);
                const std::int64_t length = workspace.ReadVarLen(accumulated, position);
                if (length < 0) {
                    break;
                }
                walk.position = position + length;
                walk.running = 0;
                continue;
            }
            int message = status;
            std::int64_t position = walk.position + 1;
            if (status < 0x80) {
                message = walk.running;
                position = walk.position;
            }
            if (message < 0x80 || message >= 0xF0) {
                break;
            }
            walk.running = message;
            const int channel = message & 0x0F;
            const int first = workspace.ReadAt(accumulated, position);
            if ((message & 0xF0) == 0xC0) {
                program[channel] = true;
            } else if ((message & 0xF0) == 0xB0 && first == 7) {
                volume[channel] = true;
            } else if ((message & 0xF0) == 0xB0 && first == 10) {
                pan[channel] = true;
            }
            walk.position = position + static_cast<std::int64_t>(DataBytes(message));
        }
    }

    workspace.Select(2);
    workspace.StartAfresh();
    for (int channel = 0; channel < 16; ++channel) {
        const auto control = static_cast<std::uint8_t>(0xB0 | channel);
        if (!program[channel]) {
            const std::uint8_t bank[] = {
                0,       control, 0x00, 0x00, 0,
                control, 0x20,    0x00, 0,    static_cast<std::uint8_t>(0xC0 | channel),
                0x00};
            workspace.Append(bank, sizeof bank);
        }
        if (!volume[channel]) {
            const std::uint8_t set[] = {0, control, 0x07, 0x64};
            workspace.Append(set, sizeof set);
        }
        if (!pan[channel]) {
            const std::uint8_t set[] = {0, control, 0x0A, 0x40};
            workspace.Append(set, sizeof set);
        }
    }
    const std::uint8_t end[] = {0, 0xFF, 0x2F, 0x00};
    workspace.Append(end, sizeof end);
    workspace.PatchTrackLength();

    workspace.Select(accumulated == 0 ? 1 : 0);
    Merge(workspace, accumulated, 2, false);
    return Finish(workspace, path, header);
}

int SmfWriteRecording(const std::uint32_t* events, std::size_t words, const QString& path,
                      double initialTick, unsigned int tempo) {
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    workspace.Select(0);
    workspace.StartAfresh();
    const unsigned int bpm = std::clamp(tempo, 40u, 300u);
    const double ticksPerMs = 96000.0 / static_cast<double>(60000000u / bpm);
    double latest = initialTick;
    auto written = static_cast<std::int64_t>(initialTick);
    std::size_t word = 0;
    while (events != nullptr && word + 2 <= words) {
        const std::uint32_t time = events[word];
        const std::uint32_t length = events[word + 1];
        const std::size_t record = 3 + length / 4;
        // A record must lie wholly within the events given.
        if (record > words - word || length > (words - word - 2) * 4) {
            break;
        }
        const double tick = static_cast<double>(time) * ticksPerMs;
        latest = std::max(latest, tick);
        const auto delta = static_cast<std::int64_t>(latest - static_cast<double>(written) + 0.5);
        workspace.AppendVarLen(delta);
        workspace.Append(reinterpret_cast<const std::uint8_t*>(events + word + 2), length);
        written += delta;
        word += record;
    }
    const std::uint8_t end[] = {0, 0xFF, 0x2F, 0x00};
    workspace.Append(end, sizeof end);
    workspace.PatchTrackLength();
    // A take that never got past its first instant is not a recording; one that does not fit
    // would be written cut short.
    if (latest == 0.0 || workspace.Overflowed()) {
        return SMF_RESULT_NOT_WRITTEN;
    }
    return workspace.WriteFile(path) ? SMF_RESULT_OK : SMF_RESULT_NOT_WRITTEN;
}

int SmfWriteRecording(const std::uint32_t* events, std::size_t words, const QString& path,
                      double initialTick) {
    const unsigned int tempo = CLast::HasSysinfo() ? CLast::Sysinfo().GetTempo() : 120;
    return SmfWriteRecording(events, words, path, initialTick, tempo);
}

int SmfWriteMemo(const QString& path, const char* text, std::size_t length) {
    if (text == nullptr && length > 0) {
        return SMF_RESULT_NOT_WRITTEN;
    }
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    std::uint8_t header[14];
    int accumulated = 0;
    if (const int result = ReadAllTracks(workspace, path, header, accumulated);
        result != SMF_RESULT_OK) {
        return result;
    }
    workspace.Select(2);
    workspace.StartAfresh();
    const std::uint8_t start[] = {0, 0xFF, 0x01};
    workspace.Append(start, sizeof start);
    workspace.AppendVarLen(static_cast<std::int64_t>(length));
    workspace.Append(reinterpret_cast<const std::uint8_t*>(text), length);
    const std::uint8_t end[] = {0, 0xFF, 0x2F, 0x00};
    workspace.Append(end, sizeof end);
    workspace.PatchTrackLength();
    if (workspace.Overflowed()) {
        return SMF_RESULT_TOO_LARGE;
    }
    workspace.Select(accumulated == 0 ? 1 : 0);
    Merge(workspace, accumulated, 2, true);
    return Finish(workspace, path, header);
}

int SmfFindMemo(const std::uint8_t* image, std::size_t length, char* text, std::size_t size) {
    if (image == nullptr || text == nullptr || size == 0 || length < 14) {
        return -1;
    }
    std::size_t offset = 0;
    if (!Is(image, "MThd")) {
        if (length < 128 + 14 || !Is(image + 128, "MThd")) {
            return -1;
        }
        offset = 128;
    }
    const std::uint64_t headerLength = BigEndian32(image + offset + 4);
    if (image[offset + 8] != 0 || image[offset + 9] != 0) {
        return -1; // only format 0
    }
    const std::uint64_t track = offset + 8 + headerLength;
    if (track + 8 > length || !Is(image + track, "MTrk")) {
        return -1;
    }
    const std::uint64_t end =
        std::min<std::uint64_t>(track + 8 + BigEndian32(image + track + 4), length);
    std::uint64_t position = track + 8;
    // A variable-length quantity within the track; -1 when it runs past it.
    const auto readVarLen = [&](std::uint64_t& at) -> std::int64_t {
        std::int64_t value = 0;
        for (int i = 0; i < 4; ++i) {
            if (at >= end) {
                return -1;
            }
            const std::uint8_t byte = image[at++];
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        return value;
    };
    while (position < end) {
        if (readVarLen(position) != 0 || position >= end) {
            return -1; // only the events at time 0
        }
        const std::uint8_t status = image[position];
        if (status == 0xFF) {
            if (position + 1 >= end) {
                return -1;
            }
            const std::uint8_t type = image[position + 1];
            std::uint64_t at = position + 2;
            const std::int64_t size64 = readVarLen(at);
            if (size64 < 0 || type == 0x2F) {
                return -1;
            }
            if (type == 0x01) {
                const std::uint64_t available = end - std::min(at, end);
                const std::size_t copied = static_cast<std::size_t>(std::min<std::uint64_t>(
                    {static_cast<std::uint64_t>(size64), available, size - 1}));
                std::memcpy(text, image + at, copied);
                text[copied] = '\0';
                return 0;
            }
            position = at + static_cast<std::uint64_t>(size64);
        } else if (status == 0xF0 || status == 0xF7) {
            std::uint64_t at = position + 1;
            const std::int64_t size64 = readVarLen(at);
            if (size64 < 0) {
                return -1;
            }
            position = at + static_cast<std::uint64_t>(size64);
        } else if (status >= 0x80) {
            position += 1 + DataBytes(status);
        } else {
            position += 2; // the data of a running-status message
        }
    }
    return -1;
}

QByteArray SmfMemoOf(const QByteArray& image) {
    std::vector<char> text(kSmfMemoBuffer);
    if (SmfFindMemo(reinterpret_cast<const std::uint8_t*>(image.constData()),
                    static_cast<std::size_t>(image.size()), text.data(), text.size()) != 0) {
        return {};
    }
    return QByteArray(text.data());
}
