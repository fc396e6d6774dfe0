#include "CSeqTranslator.h"

#include "CCtrlPanel.h"

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The piano's settings a file may carry, recognised by their leading bytes.
const Bytes kTranspose{0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00};
const Bytes kTuning{0xF0, 0x7F, 0x7F, 0x04, 0x03};
const Bytes kTouch{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00};
const Bytes kReverb{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00};
const Bytes kDual{0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x10, 0x00, 0x00, 0x00};

bool Starts(const Bytes& message, const Bytes& prefix) {
    return message.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), message.begin());
}

DWORD Pack(int status, int first, int second = 0) {
    return static_cast<DWORD>(status) | static_cast<DWORD>(first) << 8 |
           static_cast<DWORD>(second) << 16;
}

} // namespace

CSeqTranslator::Overrides CSeqTranslator::Overrides::FromPanel() {
    Overrides o;
    o.defTimbre = CCtrlPanel::GetPStatDefTimbre();
    o.reverb = CCtrlPanel::GetPStatReverbOffOn();
    o.brilliance = CCtrlPanel::GetPStatBrilliance();
    o.transpose = CCtrlPanel::GetPStatTranspose();
    o.touch = CCtrlPanel::GetPStatTouchSense();
    o.tuning = CCtrlPanel::GetPStatTuning();
    return o;
}

bool CSeqTranslator::Buffer::Event(DWORD delta, DWORD event, const std::uint8_t* bytes,
                                   std::size_t length) {
    const std::size_t size = 12 + ((length + 3) & ~std::size_t{3});
    if (Room() < size) {
        return false;
    }
    std::uint8_t* out = m_data + m_used;
    std::memset(out, 0, size);
    std::memcpy(out, &delta, 4);
    std::memcpy(out + 8, &event, 4);
    if (length > 0) {
        std::memcpy(out + 12, bytes, length);
    }
    m_used += size;
    return true;
}

bool CSeqTranslator::Buffer::Short(DWORD delta, DWORD message) {
    return Event(delta, static_cast<DWORD>(MEVT_SHORTMSG) << 24 | (message & 0xFFFFFF), nullptr, 0);
}

bool CSeqTranslator::Buffer::Nop(DWORD delta) {
    return Event(delta, static_cast<DWORD>(MEVT_NOP) << 24, nullptr, 0);
}

bool CSeqTranslator::Buffer::Tempo(DWORD delta, DWORD microseconds) {
    return Event(delta, static_cast<DWORD>(MEVT_TEMPO) << 24 | (microseconds & 0xFFFFFF), nullptr,
                 0);
}

bool CSeqTranslator::Buffer::Long(DWORD delta, const std::uint8_t* bytes, std::size_t length) {
    return Event(delta, MEVT_F_LONG | static_cast<DWORD>(length), bytes, length);
}

CSeqTranslator::CSeqTranslator(const CSeqSong& song)
    : m_song(song), m_reader(song.Image().data(), song.TrackBegin(), song.TrackEnd()) {
    for (Channel& channel : m_channels) {
        channel.controller.fill(-1);
    }
}

bool CSeqTranslator::NextEvent() {
    if (m_hasEvent) {
        return true;
    }
    m_hasEvent = m_reader.Next();
    return m_hasEvent;
}

CSeqTranslator::Out CSeqTranslator::Translate(const Overrides& o, int keyShift, DWORD& message,
                                              std::vector<std::uint8_t>& bytes) const {
    const SmfTrackReader& r = m_reader;
    if (r.kind == SmfTrackReader::Kind::Channel) {
        const int kind = r.status & 0xF0;
        const int channel = r.status & 0x0F;
        int first = r.body[0];
        const int second = r.length > 1 ? r.body[1] : 0;
        if ((kind == 0x80 || kind == 0x90) && channel != 9) {
            first += keyShift;
            if (first < 0 || first > 127) {
                return Out::Drop; // its note-off is dropped alike, so nothing hangs
            }
        } else if (kind == 0xB0 && first == 0x4A && o.brilliance >= 1) {
            return Out::Drop;
        } else if (kind == 0xC0 && o.defTimbre >= 1) {
            return Out::Drop;
        }
        message = Pack(r.status, first, second);
        return Out::Short;
    }
    if (r.kind == SmfTrackReader::Kind::SystemExclusive) {
        if (r.status == 0xF0) {
            bytes.assign(1, 0xF0);
            bytes.insert(bytes.end(), r.body, r.body + r.length);
            const bool pass = (Starts(bytes, kTranspose) && o.transpose == -1) ||
                              (Starts(bytes, kTuning) && o.tuning == -1) ||
                              (Starts(bytes, kTouch) && o.touch == -1) ||
                              (Starts(bytes, kReverb) && o.reverb == -1) ||
                              (Starts(bytes, kDual) && o.defTimbre == -1);
            return pass ? Out::Long : Out::Drop;
        }
        if (r.length == 0 || (r.length == 1 && r.body[0] == 0xF8)) {
            return Out::Drop; // the filler's timing clocks only keep the buffers short
        }
        if (r.length == 1 && r.body[0] > 0xF8) {
            message = r.body[0];
            return Out::Short;
        }
        bytes.assign(r.body, r.body + r.length);
        return Out::Long;
    }
    if (r.type == 0x51 && r.length == 3) {
        message = (DWORD{r.body[0]} << 16) | (DWORD{r.body[1]} << 8) | r.body[2];
        return message != 0 ? Out::Tempo : Out::Drop;
    }
    return Out::Drop;
}

void CSeqTranslator::Fill(Buffer& out, const Overrides& overrides, int keyShift,
                          const TempoConvert& convert) {
    // A buffer ends at the first event at least this far (file ticks) after its start.
    const std::int64_t spanLimit = std::max(1, m_song.Division() / 96);
    std::int64_t span = 0;
    std::vector<std::uint8_t> bytes;
    while (true) {
        if (m_splitDone < m_split.size()) {
            // Continue a long message in as many pieces as it takes.
            const std::size_t room = out.Room() > 12 ? (out.Room() - 12) & ~std::size_t{3} : 0;
            const std::size_t piece = std::min(room, m_split.size() - m_splitDone);
            if (piece == 0) {
                return;
            }
            out.Long(m_splitDelta, m_split.data() + m_splitDone, piece);
            m_splitDelta = 0;
            m_splitDone += piece;
            if (m_splitDone < m_split.size()) {
                return;
            }
            m_split.clear();
            m_splitDone = 0;
        }
        if (m_ended || out.Room() < 16) {
            return;
        }
        if (!NextEvent()) {
            // The end of the track: the stream's position is to reach the song's length.
            const std::int64_t rest = m_reader.Time() - m_lastTime;
            if (rest > 0 && !out.Nop(static_cast<DWORD>(rest))) {
                return;
            }
            m_lastTime = m_reader.Time();
            m_ended = true;
            return;
        }
        const auto delta = static_cast<DWORD>(m_reader.Time() - m_lastTime);
        DWORD message = 0;
        bool written = true;
        switch (Translate(overrides, keyShift, message, bytes)) {
        case Out::Short:
            written = out.Short(delta, message);
            break;
        case Out::Tempo:
            written = out.Tempo(delta, convert(message));
            break;
        case Out::Drop:
            written = delta == 0 || out.Nop(delta);
            break;
        case Out::Long:
            written = out.Long(delta, bytes.data(), bytes.size());
            if (!written && out.Used() == 0) {
                m_split = bytes; // larger than any buffer: it goes out in pieces
                m_splitDone = 0;
                m_splitDelta = delta;
                written = true;
            }
            break;
        }
        if (!written) {
            return; // the next buffer takes it
        }
        m_hasEvent = false;
        m_lastTime = m_reader.Time();
        span += delta;
        if (span >= spanLimit) {
            return;
        }
    }
}

void CSeqTranslator::Remember(const Overrides& o) {
    const SmfTrackReader& r = m_reader;
    if (r.kind == SmfTrackReader::Kind::Meta) {
        if (r.type == 0x51 && r.length == 3) {
            const DWORD us = (DWORD{r.body[0]} << 16) | (DWORD{r.body[1]} << 8) | r.body[2];
            if (us != 0) {
                m_chaseTempo = us;
            }
        }
        return;
    }
    if (r.kind == SmfTrackReader::Kind::SystemExclusive) {
        if (r.status != 0xF0) {
            return;
        }
        Bytes message(1, 0xF0);
        message.insert(message.end(), r.body, r.body + r.length);
        if (Starts(message, kTranspose) && o.transpose == -1) {
            m_transpose = message;
        } else if (Starts(message, kTuning) && o.tuning == -1) {
            m_tuning = message;
        } else if (Starts(message, kTouch) && o.touch == -1) {
            m_touch = message;
        } else if (Starts(message, kReverb) && o.reverb == -1) {
            m_reverb = message;
        } else if (Starts(message, kDual) && o.defTimbre == -1) {
            m_dual = message;
        }
        return;
    }
    Channel& c = m_channels[static_cast<std::size_t>(r.status & 0x0F)];
    const int first = r.body[0];
    const int second = r.length > 1 ? r.body[1] : 0;
    switch (r.status & 0xF0) {
    case 0xC0:
        if (o.defTimbre == -1) {
            c.program = first;
        }
        break;
    case 0xE0:
        c.bendLsb = first;
        c.bendMsb = second;
        break;
    case 0xB0:
        if (first == 0) {
            c.bankMsb = second;
        } else if (first == 32) {
            c.bankLsb = second;
        } else if (first == 0x4A) {
            if (o.brilliance == -1) {
                c.brilliance = second;
            }
        } else if (first == 101) {
            c.rpnMsb = second;
        } else if (first == 100) {
            c.rpnLsb = second;
        } else if (first == 6 || first == 38) {
            if (c.rpnMsb == 0 && c.rpnLsb >= 0 && c.rpnLsb <= 2) {
                auto& data = first == 6 ? c.rpnData : c.rpnFine;
                data[static_cast<std::size_t>(c.rpnLsb)] = second;
            }
        } else if (first >= 1 && first <= 119) {
            c.controller[static_cast<std::size_t>(first)] = second;
        }
        break;
    default:
        break;
    }
}

void CSeqTranslator::Seek(std::int64_t fileTick, const Overrides& overrides) {
    while (NextEvent() && m_reader.Time() < fileTick) {
        Remember(overrides);
        m_hasEvent = false;
    }
    // The first event kept lies at or after fileTick; its delta counts from there.
    m_lastTime = m_hasEvent ? fileTick : std::min(fileTick, m_reader.Time());
}

bool CSeqTranslator::WriteChase(Buffer& out, const TempoConvert& convert) const {
    bool fits = out.Nop(0);
    const auto sysex = [&](const Bytes& message) {
        if (!message.empty()) {
            fits = fits && out.Long(0, message.data(), message.size());
        }
    };
    const auto eachChannel = [&](auto&& write) {
        for (std::size_t n = 0; n < m_channels.size(); ++n) {
            write(static_cast<int>(n), m_channels[n]);
        }
    };
    const auto shortMsg = [&](DWORD message) { fits = fits && out.Short(0, message); };

    sysex(m_transpose);
    sysex(m_touch);
    sysex(m_reverb);
    eachChannel([&](int n, const Channel& c) {
        if (c.brilliance >= 0) {
            shortMsg(Pack(0xB0 | n, 0x4A, c.brilliance));
        }
    });
    sysex(m_tuning);
    eachChannel([&](int n, const Channel& c) {
        for (int p = 0; p < 3; ++p) {
            const auto i = static_cast<std::size_t>(p);
            if (c.rpnData[i] < 0 && c.rpnFine[i] < 0) {
                continue;
            }
            shortMsg(Pack(0xB0 | n, 100, p));
            shortMsg(Pack(0xB0 | n, 101, 0));
            shortMsg(Pack(0xB0 | n, 6, std::max(0, c.rpnData[i])));
            shortMsg(Pack(0xB0 | n, 38, std::max(0, c.rpnFine[i])));
        }
    });
    eachChannel([&](int n, const Channel& c) {
        if (c.bendMsb >= 0) {
            shortMsg(Pack(0xE0 | n, c.bendLsb, c.bendMsb));
        }
    });
    eachChannel([&](int n, const Channel& c) {
        for (int k = 1; k <= 119; ++k) {
            const bool own = k == 6 || k == 32 || k == 38 || (k >= 96 && k <= 101) || k == 0x4A;
            const int value = c.controller[static_cast<std::size_t>(k)];
            if (!own && value >= 0) {
                shortMsg(Pack(0xB0 | n, k, value));
            }
        }
    });
    eachChannel([&](int n, const Channel& c) {
        if (c.bankMsb >= 0) {
            shortMsg(Pack(0xB0 | n, 0, c.bankMsb));
        }
        if (c.bankLsb >= 0) {
            shortMsg(Pack(0xB0 | n, 32, c.bankLsb));
        }
        if (c.program >= 0) {
            shortMsg(Pack(0xC0 | n, c.program));
        }
    });
    sysex(m_dual);
    // Half a quarter note for the piano to take the settings in before the music goes on.
    fits = fits && out.Nop(static_cast<DWORD>(std::max(1, m_song.Division() / 2)));
    const DWORD tempo = m_chaseTempo != 0 ? m_chaseTempo : m_song.FileTempoMicroseconds();
    fits = fits && out.Tempo(0, convert(tempo));
    return fits;
}
