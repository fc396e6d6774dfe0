#include "CCtrlPanel.h"

#include "CLast.h"
#include "CMemoCodec.h"
#include "CPianoSender.h"
#include "CScorp.h"
#include "CSequencerPlay.h"
#include "CSequencerRec.h"
#include "CSysinfo.h"
#include "CTrace.h"
#include "Smf.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The panel-override flags, one set for the process.
std::atomic<int> g_defTimbre{-1};
std::atomic<int> g_reverbOffOn{-1};
std::atomic<int> g_brilliance{-1};
std::atomic<int> g_transpose{-1};
std::atomic<int> g_touchSense{-1};
std::atomic<int> g_tuning{-1};

std::uint8_t Low(unsigned int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// A setting's system-exclusive message: its bytes with zeros where the value goes. The same
// bytes up to the value are what recognises the message when the piano reports the setting.
struct Layout {
    const std::uint8_t* bytes;
    std::size_t length;
    std::size_t valueAt;
    std::size_t values;
};

template <std::size_t N>
constexpr Layout MakeLayout(const std::uint8_t (&bytes)[N], std::size_t valueAt,
                            std::size_t values = 1) {
    return Layout{bytes, N, valueAt, values};
}

constexpr std::uint8_t kTransposeBytes[] = {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0x00, 0xF7};
constexpr std::uint8_t kTuningBytes[] = {0xF0, 0x7F, 0x7F, 0x04, 0x03, 0x00, 0x00, 0xF7};
constexpr std::uint8_t kTouchBytes[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F,
                                        0x02, 0x00, 0x00, 0x00, 0xF7};
constexpr std::uint8_t kReverbBytes[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F,
                                         0x00, 0x01, 0x00, 0x00, 0xF7};
constexpr std::uint8_t kDualBytes[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02,
                                       0x10, 0x00, 0x00, 0x00, 0x00, 0xF7};
constexpr std::uint8_t kChannelBytes[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F,
                                          0x00, 0x10, 0x00, 0x00, 0xF7};

constexpr Layout kTranspose = MakeLayout(kTransposeBytes, 6);
// Master fine tuning: most significant byte first.
constexpr Layout kTuning = MakeLayout(kTuningBytes, 5, 2);
constexpr Layout kTouch = MakeLayout(kTouchBytes, 9);
constexpr Layout kReverb = MakeLayout(kReverbBytes, 9);
constexpr Layout kDual = MakeLayout(kDualBytes, 11);
constexpr Layout kChannel = MakeLayout(kChannelBytes, 9);

constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kBrillianceController = 0x4A;
constexpr std::uint8_t kAllNotesOffController = 0x7B;

bool IsData(std::uint8_t byte) {
    return byte < 0x80;
}

// Every byte the piano gets between the status and F7 must be a data byte: a value whose low
// byte is 0x80 or above would put a status byte inside the message, so nothing is sent.
bool Refuse(const char* setter, unsigned int value) {
    CLast::Trace().TraceLine() << setter << ": 値 " << value
                               << " は7ビットに収まらないので送信しない"
                               << "\n";
    return false;
}

bool SendShort(const char* setter, unsigned int value, std::uint8_t status, std::uint8_t first,
               std::uint8_t second = 0) {
    if (!IsData(first) || !IsData(second)) {
        return Refuse(setter, value);
    }
    CPianoSender::SendPianoShortMsg(status | (static_cast<DWORD>(first) << 8) |
                                    (static_cast<DWORD>(second) << 16));
    return true;
}

// The layout with its value bytes filled in, sent when they are all data bytes.
bool SendSetting(const char* setter, unsigned int value, const Layout& layout,
                 std::initializer_list<std::uint8_t> values) {
    std::vector<std::uint8_t> message(layout.bytes, layout.bytes + layout.length);
    std::size_t at = layout.valueAt;
    for (const std::uint8_t byte : values) {
        if (!IsData(byte)) {
            return Refuse(setter, value);
        }
        message[at++] = byte;
    }
    CPianoSender::SendPianoLongMsg(message.data(), message.size());
    return true;
}

// Whether bytes are the layout's message with data bytes for all of its value; a message cut
// short before its value, or with a status byte where the value belongs, is none of ours.
bool Matches(const std::uint8_t* bytes, std::size_t length, const Layout& layout) {
    if (length < layout.valueAt + layout.values ||
        std::memcmp(bytes, layout.bytes, layout.valueAt) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < layout.values; ++i) {
        if (!IsData(bytes[layout.valueAt + i])) {
            return false;
        }
    }
    return true;
}

} // namespace

CCtrlPanel::CCtrlPanel() = default;

CCtrlPanel::~CCtrlPanel() = default;

void CCtrlPanel::Initialize() {
    const CScorp scope("CCtrlPanel", "Initialize", CLast::Trace());
    CLast::Trace().TraceLine() << "コントロールパネル初期化"
                               << "\n";
}

void CCtrlPanel::Terminate() {
    const CScorp scope("CCtrlPanel", "Terminate", CLast::Trace());
    CLast::Trace().TraceLine() << "コントロールパネル終了"
                               << "\n";
}

int CCtrlPanel::GetPStatDefTimbre() {
    return g_defTimbre;
}
int CCtrlPanel::GetPStatReverbOffOn() {
    return g_reverbOffOn;
}
int CCtrlPanel::GetPStatBrilliance() {
    return g_brilliance;
}
int CCtrlPanel::GetPStatTranspose() {
    return g_transpose;
}
int CCtrlPanel::GetPStatTouchSense() {
    return g_touchSense;
}
int CCtrlPanel::GetPStatTuning() {
    return g_tuning;
}
void CCtrlPanel::SetPStatDefTimbre(int value) {
    g_defTimbre = value;
}
void CCtrlPanel::SetPStatReverbOffOn(int value) {
    g_reverbOffOn = value;
}
void CCtrlPanel::SetPStatBrilliance(int value) {
    g_brilliance = value;
}
void CCtrlPanel::SetPStatTranspose(int value) {
    g_transpose = value;
}
void CCtrlPanel::SetPStatTouchSense(int value) {
    g_touchSense = value;
}
void CCtrlPanel::SetPStatTuning(int value) {
    g_tuning = value;
}

void CCtrlPanel::SetDefTimbre(unsigned int program) {
    if (SendShort("SetDefTimbre", program, kProgramChange, Low(program))) {
        g_defTimbre = 1;
        m_program = program;
    }
}

void CCtrlPanel::SetDualTimbre(unsigned int program) {
    if (program == 255) {
        // Dual play ends when the main voice is chosen again.
        if (m_program != 255) {
            SetDefTimbre(m_program);
        }
        return;
    }
    if (SendSetting("SetDualTimbre", program, kDual, {Low(program)})) {
        g_defTimbre = 1;
    }
}

void CCtrlPanel::SetReverbOffOn(unsigned int value) {
    g_reverbOffOn = 1;
    SendSetting("SetReverbOffOn", value, kReverb,
                {Low(value) != 0 ? std::uint8_t{1} : std::uint8_t{0}});
}

void CCtrlPanel::SetBrilliance(unsigned int value) {
    if (SendShort("SetBrilliance", value, kControlChange, kBrillianceController, Low(value))) {
        g_brilliance = 1;
    }
}

void CCtrlPanel::SetTouchSense(unsigned int value) {
    if (SendSetting("SetTouchSense", value, kTouch, {Low(value)})) {
        g_touchSense = 1;
    }
}

void CCtrlPanel::SetTranspose(unsigned int value) {
    if (SendSetting("SetTranspose", value, kTranspose, {Low(value)})) {
        g_transpose = 1;
    }
}

void CCtrlPanel::SetTuning(unsigned int value) {
    if (SendSetting("SetTuning", value, kTuning, {Low(value >> 8), Low(value)})) {
        g_tuning = 1;
    }
}

void CCtrlPanel::SetMbch(unsigned int channel) {
    SendSetting("SetMbch", channel, kChannel, {Low(channel)});
}

void CCtrlPanel::VolumeMessage(unsigned int value, std::uint8_t (&message)[17]) {
    const std::uint8_t fixed[17] = {0xF0, 0x50, 0x2C, 0x01, 0x2D, 0x13,       0x01,
                                    0x00, 0x00, 0x00, 0x00, 0x01, Low(value), Low(value >> 8),
                                    0x00, 0x00, 0xF7};
    std::memcpy(message, fixed, sizeof fixed);
    unsigned int sum = 189;
    for (int i = 6; i <= 14; ++i) {
        sum += message[i];
    }
    message[15] = static_cast<std::uint8_t>((0u - sum) & 0x7F);
}

void CCtrlPanel::SetVolume(unsigned int value) {
    std::uint8_t message[17];
    VolumeMessage(value, message);
    if (!IsData(message[12]) || !IsData(message[13])) {
        Refuse("SetVolume", value);
        return;
    }
    CPianoSender::SendPianoLongMsg(message, sizeof message);
}

void CCtrlPanel::Note(unsigned int note, unsigned int velocity, void* source) {
    if (!CLast::HasSysinfo()) {
        return;
    }
    CSysinfo& sysinfo = CLast::Sysinfo();
    CSequencerPlay* player = sysinfo.GetSequencerPlay();
    CSequencerRec* recorder = sysinfo.GetSequencerRec();
    if (player != nullptr && source == player->GetSafeHwnd()) {
        sysinfo.PostScoreNote(note, velocity);
    } else if (recorder != nullptr && source == recorder->GetSafeHwnd()) {
        sysinfo.PostKeyboardNote(note, velocity);
        if (recorder->IsRecording()) {
            sysinfo.PostScoreNote(note, velocity);
        }
    }
}

void CCtrlPanel::Ev2SysShortMsg(std::uint32_t message, void* source) {
    // In the player's stream the top byte carries the event type: not a plain message.
    if ((message >> 24) != 0 || !CLast::HasSysinfo()) {
        return;
    }
    const unsigned int status = message & 0xFF;
    const unsigned int first = (message >> 8) & 0xFF;
    const unsigned int second = (message >> 16) & 0xFF;
    if (first >= 0x80 || second >= 0x80) {
        return; // not a message the input could have parsed
    }
    CSysinfo& sysinfo = CLast::Sysinfo();
    switch (status) {
    case 0x80:
        Note(first, 0, source);
        break;
    case 0x90:
        Note(first, second, source);
        break;
    case kControlChange:
        if (first == kBrillianceController) {
            sysinfo.SetSeqBrilliance(second, source);
        } else if (first == kAllNotesOffController) {
            Note(CDataInfo::kAllNotes, 0, source);
        }
        break;
    case kProgramChange:
        // The piano now sounds this main voice, whoever chose it: turning dual play off
        // later sends it, not an older one.
        m_program = first;
        // A program change on the piano also ends dual play.
        sysinfo.SetSeqDualTimbre(255, source);
        sysinfo.SetSeqDefTimbre(first, source);
        break;
    default:
        break; // other kinds, and every other channel
    }
}

void CCtrlPanel::Ev2SysLongMsg(const std::uint8_t* bytes, std::size_t length, void* source) {
    if (bytes == nullptr || length == 0 || bytes[0] != 0xF0 || !CLast::HasSysinfo()) {
        return;
    }
    CSysinfo& sysinfo = CLast::Sysinfo();
    if (Matches(bytes, length, kTranspose)) {
        sysinfo.SetSeqTranspose(bytes[kTranspose.valueAt], source);
    } else if (Matches(bytes, length, kTuning)) {
        sysinfo.SetSeqTuning(bytes[kTuning.valueAt + 1] + 256u * bytes[kTuning.valueAt], source);
    } else if (Matches(bytes, length, kTouch)) {
        sysinfo.SetSeqTouch(bytes[kTouch.valueAt], source);
    } else if (Matches(bytes, length, kReverb)) {
        sysinfo.SetSeqReverb(bytes[kReverb.valueAt], source);
    } else if (Matches(bytes, length, kDual)) {
        sysinfo.SetSeqDualTimbre(bytes[kDual.valueAt], source);
    } else if (Matches(bytes, length, kChannel)) {
        if (bytes[kChannel.valueAt] != 1) {
            // The piano must stay on basic channel 1: say so, and put it back.
            CVeskError error;
            error.SetCode(
                ERR_VESK_FAILED,
                QStringLiteral("ベーシックチャンネルを１以外に設定することはできません。"));
            sysinfo.ErrorMessageFromMiddle(error);
            SetMbch(1);
        }
    }
}

QString CCtrlPanel::GetMemo(const QString& path) {
    const CScorp scope("CCtrlPanel", "GetMemo", CLast::Trace());
    CLast::Trace().TraceLine() << "めも取り出し"
                               << "\n";
    // Only a regular file is read: copying a pipe named like a MIDI file would never end.
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    // Read from a working copy, so the album file is never held open.
    const QString copy = QStringLiteral("midi.dat");
    QFile::remove(copy);
    if (!QFile::copy(path, copy)) {
        return {};
    }
    QFile file(copy);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile::remove(copy);
        return {};
    }
    // The memo stands among the first events: a huge file need not be read whole.
    constexpr qint64 kLargestRead = qint64(16) << 20;
    const QByteArray image = file.read(std::min(file.size(), kLargestRead));
    file.close();
    QFile::remove(copy);
    return CMemoCodec::FromFile(SmfMemoOf(image));
}
