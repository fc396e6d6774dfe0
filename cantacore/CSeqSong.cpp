#include "CSeqSong.h"

#include "Smf.h"
#include "SmfImage.h"
#include "SmfTrackReader.h"

#include <QFile>
#include <cmath>
#include <cstring>

namespace {

int Be16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

} // namespace

std::int64_t CSeqSong::LengthTicks() const {
    return std::llround(static_cast<double>(m_lengthFileTicks) * Factor());
}

QString CSeqSong::ResultText(int result) {
    switch (result) {
    case kOk:
        return {};
    case kCannotRead:
        return QStringLiteral("MIDIファイルを読み込むことができません。");
    case kCannotCopy:
        return QStringLiteral("作業ファイルを作ることができません。");
    case kTooLarge:
        return QStringLiteral("MIDIファイルが大きすぎて再生できません。");
    case kUnsupported:
        return QStringLiteral("この形式のMIDIファイルは再生できません。");
    default:
        return QStringLiteral("MIDIファイルが壊れているため再生できません。");
    }
}

int CSeqSong::Load(const QString& path, const QString& workCopy) {
    *this = CSeqSong();
    // Every step works on a copy: the user's file is read once and never written.
    SmfImage original;
    const E_SMF_ERROR read = original.Read(path);
    if (read == SMF_TOO_LARGE) {
        return kTooLarge;
    }
    if (read != SMF_OK) {
        return kCannotRead;
    }
    {
        QFile::remove(workCopy);
        QFile copy(workCopy);
        if (!copy.open(QIODevice::WriteOnly) ||
            copy.write(reinterpret_cast<const char*>(original.Data()), original.Size()) !=
                original.Size()) {
            copy.remove();
            return kCannotCopy;
        }
    }
    // The workspace is held throughout: flattening and the filler's merge share its buffers.
    const SmfAccess workspace;
    const int flattened = SmfFlattenFile(workCopy);
    SmfImage image;
    const E_SMF_ERROR reread = image.Read(workCopy);
    QFile::remove(workCopy);
    if (flattened == SMF_RESULT_TOO_LARGE) {
        return kTooLarge;
    }
    if (flattened != SMF_RESULT_OK && flattened != SMF_RESULT_PARTLY_READ) {
        return kNotMidi;
    }
    if (reread != SMF_OK) {
        return kCannotRead;
    }
    m_partlyRead = flattened == SMF_RESULT_PARTLY_READ;
    m_image.assign(image.Data(), image.Data() + image.Size());
    if (const int parsed = Parse(); parsed != kOk) {
        return parsed;
    }
    MergeFiller();
    return kOk;
}

int CSeqSong::Parse() {
    const auto size = static_cast<std::int64_t>(m_image.size());
    std::int64_t header = -1;
    if (size >= 22 && std::memcmp(m_image.data(), "MThd", 4) == 0) {
        header = 0;
    } else if (size >= 150 && std::memcmp(m_image.data() + 128, "MThd", 4) == 0) {
        header = 128;
    }
    if (header < 0) {
        return kNotMidi;
    }
    const std::uint8_t* h = m_image.data() + header;
    const std::uint32_t headerLength = Be32(h + 4);
    const int format = Be16(h + 8);
    const int tracks = Be16(h + 10);
    const int division = Be16(h + 12);
    if ((division & 0x8000) != 0) {
        return kUnsupported; // SMPTE time: the stream counts ticks a quarter note only
    }
    if (division == 0) {
        return kNotMidi;
    }
    if (format != 0 && !(format == 1 && tracks == 1)) {
        return kUnsupported;
    }
    m_division = division;
    const std::int64_t chunk = header + 8 + headerLength;
    if (headerLength < 6 || chunk + 8 > size ||
        std::memcmp(m_image.data() + chunk, "MTrk", 4) != 0) {
        return kNotMidi;
    }
    m_trackBegin = chunk + 8;
    m_trackEnd = std::min<std::int64_t>(size, m_trackBegin + Be32(m_image.data() + chunk + 4));

    SmfTrackReader reader(m_image.data(), m_trackBegin, m_trackEnd);
    double ms = 0;
    std::int64_t lastTick = 0;
    unsigned int currentUs = 500000;
    bool tempoSeen = false;
    while (reader.Next()) {
        if (reader.kind != SmfTrackReader::Kind::Meta) {
            continue;
        }
        if (reader.type == 0x51) {
            if (reader.length != 3) {
                return kBadTempo;
            }
            const unsigned int us =
                (unsigned{reader.body[0]} << 16) | (unsigned{reader.body[1]} << 8) | reader.body[2];
            if (us == 0) {
                continue; // no speed at all: the stream would stand still
            }
            const std::int64_t tick = std::llround(static_cast<double>(reader.Time()) * Factor());
            ms += static_cast<double>(tick - lastTick) * currentUs / 96000.0;
            lastTick = tick;
            currentUs = us;
            const auto bpm = static_cast<unsigned int>(std::lround(60000000.0 / us));
            if (!tempoSeen) {
                tempoSeen = true;
                m_fileTempo = bpm;
                m_fileTempoUs = us;
            }
            if (m_tempoMap.size() < kTempoMarks) {
                m_tempoMap.push_back({bpm, tick, ms});
            }
        } else if (reader.type == 0x01 && !m_hasMemo) {
            m_hasMemo = true;
            m_memo = QByteArray(reinterpret_cast<const char*>(reader.body),
                                static_cast<qsizetype>(reader.length));
            // A memo ends at its first NUL, as the album's memo lookup reads it: takes written
            // while recording carry a terminator after the text.
            if (const qsizetype end = m_memo.indexOf('\0'); end >= 0) {
                m_memo.truncate(end);
            }
        }
    }
    m_lengthFileTicks = reader.Time();
    ScanBeat();
    return kOk;
}

void CSeqSong::ScanBeat() {
    SmfTrackReader reader(m_image.data(), m_trackBegin, m_trackEnd);
    while (reader.Next()) {
        if (reader.kind == SmfTrackReader::Kind::Channel && (reader.status & 0xF0) == 0x90 &&
            reader.body[1] != 0) {
            return;
        }
        if (reader.kind == SmfTrackReader::Kind::Meta && reader.type == 0x58 &&
            reader.length >= 2) {
            const unsigned int numerator = reader.body[0];
            const unsigned int denominator = reader.body[1];
            if (denominator == 2 && numerator >= 2 && numerator <= 5) {
                m_beatWord = 0x0200 | numerator;
            } else if (denominator == 3 && numerator == 6) {
                m_beatWord = 0x0306;
            }
        }
    }
}

void CSeqSong::MergeFiller() {
    const SmfAccess workspace;
    SmfWorkspace& ws = *workspace;
    if (m_trackBegin != SmfWorkspace::kTrackStart) {
        return; // the flattened copy always starts so; anything else is played as it is
    }
    ws.Select(1);
    if (!ws.Load(m_image.data(), m_image.size())) {
        return;
    }
    ws.Select(2);
    ws.StartAfresh();
    const std::int64_t step = std::max(1, m_division / 32);
    std::int64_t last = 0;
    for (std::int64_t tick = 0; tick <= m_lengthFileTicks && !ws.Full(); tick += step) {
        ws.AppendVarLen(tick - last);
        ws.Append(0xF7);
        ws.Append(0x01);
        ws.Append(0xF8);
        last = tick;
    }
    ws.AppendVarLen(m_lengthFileTicks - last);
    const std::uint8_t end[3] = {0xFF, 0x2F, 0x00};
    ws.Append(end, 3);
    ws.PatchTrackLength();
    if (ws.Overflowed()) {
        return;
    }
    ws.Select(0);
    const int merged = SmfMergeTracks(ws, 1, 2);
    if (merged != SMF_RESULT_OK && merged != SMF_RESULT_PARTLY_READ) {
        return; // played without the filler: its buffers then span an event gap each
    }
    std::vector<std::uint8_t> image(ws.Data(0), ws.Data(0) + ws.Fill(0));
    // The merge writes the template header; the file's own format and division stand.
    std::memcpy(image.data(), m_image.data(), 14);
    m_image = std::move(image);
    m_trackBegin = 22;
    m_trackEnd = static_cast<std::int64_t>(m_image.size());
    m_hasFiller = true;
}
