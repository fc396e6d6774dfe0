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

template <std::size_t N>
void SendLong(const std::uint8_t (&message)[N]) {
    CPianoSender::SendPianoLongMsg(message, N);
}

// Whether bytes begin with prefix and hold the value bytes after it.
template <std::size_t N>
bool StartsWith(const std::uint8_t* bytes, std::size_t length, const std::uint8_t (&prefix)[N],
                std::size_t needed) {
    return length >= needed && std::memcmp(bytes, prefix, N) == 0;
}

constexpr std::uint8_t kTransposePrefix[] = {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00};
constexpr std::uint8_t kTuningPrefix[] = {0xF0, 0x7F, 0x7F, 0x04, 0x03};
constexpr std::uint8_t kTouchPrefix[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x02, 0x00, 0x00};
constexpr std::uint8_t kReverbPrefix[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x01, 0x00};
constexpr std::uint8_t kDualPrefix[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F,
                                        0x02, 0x10, 0x00, 0x00, 0x00};
constexpr std::uint8_t kChannelPrefix[] = {0xF0, 0x50, 0x2C, 0x05, 0x00, 0x1F, 0x00, 0x10, 0x00};

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
    g_defTimbre = 1;
    m_program = program;
    CPianoSender::SendPianoShortMsg(0xC0u | (static_cast<DWORD>(Low(program)) << 8));
}

void CCtrlPanel::SetDualTimbre(unsigned int program) {
    if (program == 255) {
        // Dual play ends when the main voice is chosen again.
        if (m_program != 255) {
            SetDefTimbre(m_program);
        }
        return;
    }
    g_defTimbre = 1;
    const std::uint8_t message[13] = {0xF0, 0x50, 0x2C, 0x05, 0x00,         0x1F, 0x02,
                                      0x10, 0x00, 0x00, 0x00, Low(program), 0xF7};
    SendLong(message);
}

void CCtrlPanel::SetReverbOffOn(unsigned int value) {
    g_reverbOffOn = 1;
    const std::uint8_t message[11] = {
        0xF0, 0x50, 0x2C, 0x05, 0x00,
        0x1F, 0x00, 0x01, 0x00, static_cast<std::uint8_t>(Low(value) != 0 ? 1 : 0),
        0xF7};
    SendLong(message);
}

void CCtrlPanel::SetBrilliance(unsigned int value) {
    g_brilliance = 1;
    CPianoSender::SendPianoShortMsg(0x4AB0u | (static_cast<DWORD>(Low(value)) << 16));
}

void CCtrlPanel::SetTouchSense(unsigned int value) {
    g_touchSense = 1;
    const std::uint8_t message[11] = {0xF0, 0x50, 0x2C, 0x05,       0x00, 0x1F,
                                      0x02, 0x00, 0x00, Low(value), 0xF7};
    SendLong(message);
}

void CCtrlPanel::SetTranspose(unsigned int value) {
    g_transpose = 1;
    const std::uint8_t message[8] = {0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, Low(value), 0xF7};
    SendLong(message);
}

void CCtrlPanel::SetTuning(unsigned int value) {
    g_tuning = 1;
    const std::uint8_t message[8] = {0xF0,       0x7F, 0x7F, 0x04, 0x03, Low(value >> 8),
                                     Low(value), 0xF7};
    SendLong(message);
}

void CCtrlPanel::SetMbch(unsigned int channel) {
    const std::uint8_t message[11] = {0xF0, 0x50, 0x2C, 0x05,         0x00, 0x1F,
                                      0x00, 0x10, 0x00, Low(channel), 0xF7};
    SendLong(message);
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
    SendLong(message);
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
    CSysinfo& sysinfo = CLast::Sysinfo();
    switch (status) {
    case 0x80:
        Note(first, 0, source);
        break;
    case 0x90:
        Note(first, second, source);
        break;
    case 0xB0:
        if (first == 0x4A) {
            sysinfo.SetSeqBrilliance(second, source);
        } else if (first == 0x7B) {
            Note(CDataInfo::kAllNotes, 0, source);
        }
        break;
    case 0xC0:
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
    if (StartsWith(bytes, length, kTransposePrefix, 7)) {
        sysinfo.SetSeqTranspose(bytes[6], source);
    } else if (StartsWith(bytes, length, kTuningPrefix, 7)) {
        sysinfo.SetSeqTuning(bytes[6] + 256u * bytes[5], source);
    } else if (StartsWith(bytes, length, kTouchPrefix, 10)) {
        sysinfo.SetSeqTouch(bytes[9], source);
    } else if (StartsWith(bytes, length, kReverbPrefix, 10)) {
        sysinfo.SetSeqReverb(bytes[9], source);
    } else if (StartsWith(bytes, length, kDualPrefix, 12)) {
        sysinfo.SetSeqDualTimbre(bytes[11], source);
    } else if (StartsWith(bytes, length, kChannelPrefix, 10)) {
        if (bytes[9] != 1) {
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
