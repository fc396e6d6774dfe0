#include "Smf.h"

#include "SmfImage.h"
#include "SmfLayout.h"
#include "SmfTrackReader.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// The longest track a workspace buffer holds after its 22 bytes of chunk headers.
constexpr std::int64_t kRoom =
    static_cast<std::int64_t>(SmfWorkspace::kBufferSize - SmfWorkspace::kTrackStart);

std::recursive_mutex& WorkspaceLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

SmfWorkspace& Workspace() {
    static auto* workspace = new SmfWorkspace;
    return *workspace;
}

// Writes into the current buffer in place; what does not fit is dropped and remembered.
class Writer {
public:
    explicit Writer(SmfWorkspace& workspace)
        : m_workspace(workspace), m_data(workspace.MutableData()),
          m_fill(static_cast<std::size_t>(workspace.Fill(workspace.Current()))) {}
    ~Writer() { m_workspace.SetFill(m_fill, m_overflowed); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool Overflowed() const { return m_overflowed; }
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
        if (part > 0) {
            std::memcpy(m_data + m_fill, bytes, part);
        }
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

// A memo to put among the events at time 0 while merging: in place of the first text event
// at time 0 when it replaces it, else before it, else after the last event at time 0.
struct Memo {
    const std::uint8_t* text;
    std::size_t length;
    bool replace;
};

struct Merged {
    bool overflowed = false;
    bool broken = false; // some track ended at an event that could not be read
};

// The tracks still to be merged, the one with the earliest next event on top; on equal times
// the track given first. The top is replaced in place as its track moves on, which mostly
// leaves it on top after a comparison or two.
class TrackHeap {
public:
    explicit TrackHeap(std::size_t capacity) { m_entries.reserve(capacity); }
    bool Empty() const { return m_entries.empty(); }
    std::size_t Top() const { return m_entries.front().track; }
    void Push(std::int64_t time, std::size_t track) {
        m_entries.push_back(Entry{time, track});
        std::size_t at = m_entries.size() - 1;
        while (at > 0 && Before(m_entries[at], m_entries[(at - 1) / 2])) {
            std::swap(m_entries[at], m_entries[(at - 1) / 2]);
            at = (at - 1) / 2;
        }
    }
    // The top track's next event is at time.
    void MoveTop(std::int64_t time) {
        m_entries.front().time = time;
        SiftDown();
    }
    void PopTop() {
        m_entries.front() = m_entries.back();
        m_entries.pop_back();
        if (!m_entries.empty()) {
            SiftDown();
        }
    }

private:
    struct Entry {
        std::int64_t time;
        std::size_t track;
    };
    static bool Before(const Entry& a, const Entry& b) {
        return a.time < b.time || (a.time == b.time && a.track < b.track);
    }
    void SiftDown() {
        const std::size_t size = m_entries.size();
        std::size_t at = 0;
        for (;;) {
            const std::size_t left = 2 * at + 1;
            if (left >= size) {
                return;
            }
            std::size_t child = left;
            if (left + 1 < size && Before(m_entries[left + 1], m_entries[left])) {
                child = left + 1;
            }
            if (!Before(m_entries[child], m_entries[at])) {
                return;
            }
            std::swap(m_entries[child], m_entries[at]);
            at = child;
        }
    }

    std::vector<Entry> m_entries;
};

// Merges the tracks into the current buffer as one, in time order; on equal times the track
// given first goes first. Stops as soon as the result does not fit.
Merged MergeInto(SmfWorkspace& workspace, std::vector<SmfTrackReader>& tracks,
                 const Memo* memo = nullptr) {
    workspace.StartAfresh();
    Merged merged;
    std::int64_t end = 0;
    const auto retire = [&](const SmfTrackReader& track) {
        merged.broken = merged.broken || track.Broken();
        end = std::max(end, track.Time());
    };
    TrackHeap heap(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].Next()) {
            heap.Push(tracks[i].Time(), i);
        } else {
            retire(tracks[i]);
        }
    }
    {
        Writer out(workspace);
        std::int64_t lastTime = 0;
        int lastStatus = 0;
        const auto writeMeta = [&](std::int64_t time, int type, const std::uint8_t* body,
                                   std::size_t length) {
            out.VarLen(time - lastTime);
            lastTime = time;
            out.Byte(0xFF);
            out.Byte(static_cast<std::uint8_t>(type));
            out.VarLen(static_cast<std::int64_t>(length));
            out.Bytes(body, length);
            lastStatus = 0;
        };
        bool memoPending = memo != nullptr;
        while (!heap.Empty()) {
            const std::size_t pick = heap.Top();
            SmfTrackReader& track = tracks[pick];
            bool skip = false;
            const bool text = track.kind == SmfTrackReader::Kind::Meta && track.type == 0x01;
            if (memoPending && (track.Time() > 0 || text)) {
                writeMeta(0, 0x01, memo->text, memo->length);
                memoPending = false;
                skip = text && track.Time() == 0 && memo->replace;
            }
            if (skip) {
                // the memo being replaced
            } else if (track.kind == SmfTrackReader::Kind::Channel) {
                out.VarLen(track.Time() - lastTime);
                lastTime = track.Time();
                if (track.status != lastStatus) {
                    out.Byte(static_cast<std::uint8_t>(track.status));
                    lastStatus = track.status;
                }
                out.Byte(track.body[0]);
                if (track.length == 2) {
                    out.Byte(track.body[1]);
                }
            } else if (track.kind == SmfTrackReader::Kind::Meta) {
                writeMeta(track.Time(), track.type, track.body, track.length);
            } else {
                // System exclusive; like a meta event, it is followed by a status byte.
                out.VarLen(track.Time() - lastTime);
                lastTime = track.Time();
                out.Byte(static_cast<std::uint8_t>(track.status));
                out.VarLen(track.length);
                out.Bytes(track.body, track.length);
                lastStatus = 0;
            }
            if (out.Overflowed()) {
                merged.overflowed = true;
                return merged; // what follows cannot fit either
            }
            if (track.Next()) {
                heap.MoveTop(track.Time());
            } else {
                retire(track);
                heap.PopTop();
            }
        }
        if (memoPending) {
            writeMeta(0, 0x01, memo->text, memo->length);
        }
        out.VarLen(end - lastTime);
        const std::uint8_t endOfTrack[3] = {0xFF, 0x2F, 0x00};
        out.Bytes(endOfTrack, 3);
        merged.overflowed = out.Overflowed();
    }
    workspace.PatchTrackLength();
    return merged;
}

// The file read whole and its tracks found; a result other than SMF_RESULT_OK when it cannot
// be read.
int ReadFile(SmfWorkspace& workspace, const QString& path, SmfImage& image, SmfLayout& layout) {
    E_SMF_ERROR error = image.Read(path);
    if (error == SMF_OK) {
        error = layout.Walk(image.Data(), image.Size(), SIZE_MAX, kRoom);
    }
    workspace.lastError = error;
    if (error == SMF_OK) {
        return SMF_RESULT_OK;
    }
    return error == SMF_TOO_LARGE ? SMF_RESULT_TOO_LARGE : SMF_RESULT_UNREADABLE;
}

std::vector<SmfTrackReader> Readers(const SmfImage& image, const SmfLayout& layout) {
    std::vector<SmfTrackReader> readers;
    readers.reserve(layout.Tracks().size() + 1);
    for (const SmfLayout::Track& track : layout.Tracks()) {
        readers.emplace_back(image.Data(), track.begin, track.end);
    }
    return readers;
}

// The file's format and division with the header length they take, 6: the bytes of a longer
// header are not kept.
void PutHeader(SmfWorkspace& workspace, const std::uint8_t* header) {
    for (int i = 0; i < 14; ++i) {
        const std::uint8_t length = i == 7 ? 6 : 0;
        workspace.WriteAt(i, i >= 4 && i < 8 ? length : header[i]);
    }
}

// Puts the file's own header back on the one track in the current buffer and writes it over
// the file.
int Finish(SmfWorkspace& workspace, const QString& path, const std::uint8_t* header) {
    if (workspace.Overflowed()) {
        return SMF_RESULT_TOO_LARGE;
    }
    PutHeader(workspace, header);
    workspace.WriteAt(10, 0x00);
    workspace.WriteAt(11, 0x01);
    workspace.PatchTrackLength();
    return workspace.WriteFile(path) ? SMF_RESULT_OK : SMF_RESULT_NOT_WRITTEN;
}

// The memo's event in a file image: the reader stands on it when found.
bool FindMemoEvent(const std::uint8_t* image, std::size_t length, SmfTrackReader& reader) {
    SmfLayout layout;
    layout.Walk(image, static_cast<std::int64_t>(std::min<std::size_t>(length, INT64_MAX)), 1);
    if (layout.Tracks().empty() || (layout.Format() != 0 && layout.DeclaredTracks() != 1)) {
        return false;
    }
    reader = SmfTrackReader(image, layout.Tracks()[0].begin, layout.Tracks()[0].end);
    while (reader.Next() && reader.Time() == 0) {
        if (reader.kind == SmfTrackReader::Kind::Meta && reader.type == 0x01) {
            return true;
        }
    }
    return false;
}

} // namespace

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
    SmfImage image;
    SmfLayout layout;
    E_SMF_ERROR error = image.Read(path);
    if (error == SMF_OK && track >= 0) {
        error = layout.Walk(image.Data(), image.Size(), static_cast<std::size_t>(track) + 1, kRoom);
    }
    if (track < 0 || layout.Tracks().size() <= static_cast<std::size_t>(track)) {
        workspace.lastError = error != SMF_OK ? error : SMF_NO_SUCH_TRACK;
        return false;
    }
    const SmfLayout::Track& found = layout.Tracks()[static_cast<std::size_t>(track)];
    workspace.StartAfresh();
    PutHeader(workspace, image.Data() + layout.HeaderAt());
    workspace.Append(image.Data() + found.begin, static_cast<std::size_t>(found.end - found.begin));
    workspace.PatchTrackLength();
    workspace.lastError = SMF_OK;
    return true;
}

int SmfMergeTracks(SmfWorkspace& workspace, int a, int b) {
    if (a == workspace.Current() || b == workspace.Current()) {
        return SMF_RESULT_NOT_WRITTEN;
    }
    std::vector<SmfTrackReader> tracks{
        SmfTrackReader(workspace.Data(a), SmfWorkspace::kTrackStart, workspace.Fill(a)),
        SmfTrackReader(workspace.Data(b), SmfWorkspace::kTrackStart, workspace.Fill(b))};
    const Merged merged = MergeInto(workspace, tracks);
    if (merged.overflowed) {
        return SMF_RESULT_TOO_LARGE;
    }
    return merged.broken ? SMF_RESULT_PARTLY_READ : SMF_RESULT_OK;
}

int SmfFlattenFile(const QString& path) {
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    SmfImage image;
    SmfLayout layout;
    if (const int result = ReadFile(workspace, path, image, layout); result != SMF_RESULT_OK) {
        return result;
    }
    std::vector<SmfTrackReader> tracks = Readers(image, layout);

    // Which channels set their program, volume and pan themselves, in what can be read.
    bool program[16] = {}, volume[16] = {}, pan[16] = {};
    for (SmfTrackReader scan : tracks) {
        while (scan.Next()) {
            if (scan.kind != SmfTrackReader::Kind::Channel) {
                continue;
            }
            const int channel = scan.status & 0x0F;
            if ((scan.status & 0xF0) == 0xC0) {
                program[channel] = true;
            } else if ((scan.status & 0xF0) == 0xB0 && scan.body[0] == 7) {
                volume[channel] = true;
            } else if ((scan.status & 0xF0) == 0xB0 && scan.body[0] == 10) {
                pan[channel] = true;
            }
        }
    }
    // The settings for the others, at time 0 after the file's own events at time 0.
    std::vector<std::uint8_t> settings;
    for (int channel = 0; channel < 16; ++channel) {
        const auto control = static_cast<std::uint8_t>(0xB0 | channel);
        if (!program[channel]) {
            settings.insert(settings.end(), {0, control, 0x00, 0x00, 0, control, 0x20, 0x00, 0,
                                             static_cast<std::uint8_t>(0xC0 | channel), 0x00});
        }
        if (!volume[channel]) {
            settings.insert(settings.end(), {0, control, 0x07, 0x64});
        }
        if (!pan[channel]) {
            settings.insert(settings.end(), {0, control, 0x0A, 0x40});
        }
    }
    tracks.emplace_back(settings.data(), 0, static_cast<std::int64_t>(settings.size()));

    workspace.Select(0);
    const Merged merged = MergeInto(workspace, tracks);
    if (merged.overflowed) {
        return SMF_RESULT_TOO_LARGE;
    }
    const int result = Finish(workspace, path, image.Data() + layout.HeaderAt());
    return result == SMF_RESULT_OK && merged.broken ? SMF_RESULT_PARTLY_READ : result;
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

int SmfWriteMemo(const QString& path, const char* text, std::size_t length) {
    if (text == nullptr && length > 0) {
        return SMF_RESULT_NOT_WRITTEN;
    }
    const SmfAccess access;
    SmfWorkspace& workspace = *access;
    SmfImage image;
    SmfLayout layout;
    if (const int result = ReadFile(workspace, path, image, layout); result != SMF_RESULT_OK) {
        return result;
    }
    SmfTrackReader old;
    const Memo memo{reinterpret_cast<const std::uint8_t*>(text), length,
                    FindMemoEvent(image.Data(), static_cast<std::size_t>(image.Size()), old)};
    std::vector<SmfTrackReader> tracks = Readers(image, layout);
    workspace.Select(0);
    const Merged merged = MergeInto(workspace, tracks, &memo);
    if (merged.overflowed) {
        return SMF_RESULT_TOO_LARGE;
    }
    if (merged.broken) {
        // Written back, the rest of that track would be lost from the user's own file.
        return SMF_RESULT_UNREADABLE;
    }
    return Finish(workspace, path, image.Data() + layout.HeaderAt());
}

int SmfFindMemo(const std::uint8_t* image, std::size_t length, char* text, std::size_t size) {
    SmfTrackReader memo;
    if (image == nullptr || text == nullptr || size == 0 || !FindMemoEvent(image, length, memo)) {
        return -1;
    }
    const std::size_t copied = std::min<std::size_t>(memo.length, size - 1);
    std::memcpy(text, memo.body, copied);
    text[copied] = '\0';
    return 0;
}

QByteArray SmfMemoOf(const QByteArray& image) {
    std::vector<char> text(kSmfMemoBuffer);
    if (SmfFindMemo(reinterpret_cast<const std::uint8_t*>(image.constData()),
                    static_cast<std::size_t>(image.size()), text.data(), text.size()) != 0) {
        return {};
    }
    return QByteArray(text.data());
}
