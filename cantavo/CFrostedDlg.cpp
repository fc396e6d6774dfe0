#include "CFrostedDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "CScorp.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "IconMessages.h"

namespace {

constexpr unsigned int kHandCursor = 186;
// Tempo text: background red 249, green 233, blue 179; text red 120, green 96, blue 88
// (Windows colour values).
constexpr unsigned int kTempoBack = 0xB3E9F9;
constexpr unsigned int kTempoText = 0x586078;

using Art = CVeskError (CTrade::*)(CBmpMask&);

struct Shortcut {
    Art art;
    int top;
    UINT message;
    const char* tooltip;
};

const Shortcut kVoiceButtons[CFrostedDlg::kVoices] = {
    {&CTrade::GetBmpGrandPiano, 38, 1065, "グランドピアノ"},
    {&CTrade::GetBmpUprightPiano, 76, 1066, "アップライトピアノ"},
    {&CTrade::GetBmpElecPiano1, 114, 1067, "エレクトリックピアノ１"},
    {&CTrade::GetBmpElecPiano2, 152, 1068, "エレクトリックピアノ２"},
    {&CTrade::GetBmpHarpsichord, 190, 1069, "ハープシコード"},
    {&CTrade::GetBmpVibration, 228, 1070, "ビブラフォン"},
    {&CTrade::GetBmpStrings, 266, 1071, "ストリングス"},
    {&CTrade::GetBmpPipeOrgan, 304, 1072, "パイプオルガン"},
};
const Shortcut kReverbButton{&CTrade::GetBmpBtnReverb, 352, CFrostedDlg::WM_SCREVERB,
                             "リバーブ(ON/OFF)"};
const Shortcut kMetronomeButton{&CTrade::GetBmpMetroOnOff, 400, CFrostedDlg::WM_SCMETRONOME,
                                "メトロノーム(START/STOP)"};
// Two separators and the tempo caption: pictures the mouse goes through.
const Shortcut kDecorations[3] = {
    {&CTrade::GetTextSeparate, 344, WM_ICONCLICK, nullptr},
    {&CTrade::GetTextSeparate, 392, WM_ICONCLICK, nullptr},
    {&CTrade::GetTextTempoX, 442, WM_ICONCLICK, nullptr},
};
constexpr int kTempoTop = 470;
constexpr int kTempoBottom = 488;
constexpr int kTempoWidth = 35;

CBmpMask MaskFor(const Shortcut& item, QObject* parent) {
    CBmpMask mask(parent);
    mask.SetMsg(item.message);
    (CLast::Trade().*item.art)(mask);
    return mask;
}

QRect PlaceOf(const Shortcut& item, const CBmpMask& mask) {
    return QRect(QPoint(CFrostedDlg::kColumnX, item.top), mask.GetAniRect(0).size());
}

} // namespace

CFrostedDlg::CFrostedDlg() {
    const CScorp scope("CFrostedDlg", "CFrostedDlg", CLast::Trace());
}

CFrostedDlg::~CFrostedDlg() {
    const CScorp scope("CFrostedDlg", "~CFrostedDlg", CLast::Trace());
}

void CFrostedDlg::SetKeyboard(QWidget* keyboard) {
    m_keyboard = keyboard;
    if (keyboard != nullptr) {
        keyboard->setVisible(m_built && !Mask().GetAniRgn(FrostedFrame()).isEmpty());
    }
}

int CFrostedDlg::OnInitialWnd() {
    const CScorp scope("CFrostedDlg", "OnInitialWnd", CLast::Trace());
    const int result = CIconWndFrosted::OnInitialWnd();
    CreateContents();
    // The look the shared state holds (restored with the last-exit settings), and its values.
    if (CLast::HasManage()) {
        OnFrostedChange(static_cast<WPARAM>(CLast::Manage().GetFrostedStyle()), 0);
        OnDataChange(0, 0);
    } else {
        ShowChildren(Mask().GetAniRgn(FrostedFrame()).isEmpty() ? SW_HIDE : SW_SHOW);
    }
    return result;
}

void CFrostedDlg::CreateContents() {
    for (int i = 0; i < kVoices; ++i) {
        const Shortcut& item = kVoiceButtons[i];
        const CBmpMask mask = MaskFor(item, this);
        auto button = std::make_unique<CIconWndButton>();
        button->Create(PlaceOf(item, mask), this, mask);
        button->SetHint(QString::fromUtf8(item.tooltip), QString::fromUtf8(item.tooltip));
        m_voices[static_cast<std::size_t>(i)] = std::move(button);
    }
    for (auto [slot, item] :
         {std::pair{&m_reverb, &kReverbButton}, std::pair{&m_metronome, &kMetronomeButton}}) {
        const CBmpMask mask = MaskFor(*item, this);
        *slot = std::make_unique<CIconWndButton>();
        (*slot)->Create(PlaceOf(*item, mask), this, mask);
        (*slot)->SetHint(QString::fromUtf8(item->tooltip), QString::fromUtf8(item->tooltip));
    }
    for (auto& button : m_voices) {
        if (!button->SetCur(kHandCursor)) {
            button->SetCur(QCursor(Qt::PointingHandCursor));
        }
    }
    for (CIconWndButton* button : {m_reverb.get(), m_metronome.get()}) {
        if (!button->SetCur(kHandCursor)) {
            button->SetCur(QCursor(Qt::PointingHandCursor));
        }
    }
    for (std::size_t i = 0; i < m_decorations.size(); ++i) {
        const CBmpMask mask = MaskFor(kDecorations[i], this);
        m_decorations[i] = std::make_unique<CIconWnd>();
        m_decorations[i]->Create(PlaceOf(kDecorations[i], mask), this, mask);
        m_decorations[i]->NoNotify();
    }
    m_tempo = std::make_unique<CTextWnd>();
    m_tempo->Create(
        QRect(QPoint(kColumnX, kTempoTop), QPoint(kColumnX + kTempoWidth - 1, kTempoBottom)), this);
    m_tempo->Center();
    m_tempo->SetColor(kTempoBack);
    m_tempo->SetTextColor(kTempoText);
    m_tempo->setAccessibleName(QStringLiteral("テンポ"));
    m_built = true;
}

void CFrostedDlg::ShowChildren(int command) {
    if (!m_built) {
        return;
    }
    const bool show = command == SW_SHOW;
    for (auto& button : m_voices) {
        button->SetVisible(show ? 1 : 0);
    }
    m_reverb->SetVisible(show ? 1 : 0);
    m_metronome->SetVisible(show ? 1 : 0);
    for (auto& decoration : m_decorations) {
        decoration->setVisible(show);
    }
    m_tempo->setVisible(show);
    if (m_keyboard) {
        m_keyboard->setVisible(show);
    }
}

LRESULT CFrostedDlg::OnDataChange(WPARAM, LPARAM) {
    if (!m_built || !CLast::HasManage()) {
        return 0;
    }
    CManage& state = CLast::Manage();
    const E_TIMBRE main = state.GetDefTimbre();
    const E_TIMBRE dual = state.GetDualTimbre();
    for (int i = 0; i < kVoices; ++i) {
        m_voices[static_cast<std::size_t>(i)]->Check(i == main || i == dual ? 1 : 0);
    }
    m_reverb->Check(state.GetReverbOffOn() == REVERB_ON ? 1 : 0);
    m_metronome->Check(state.GetMetStatus() == MET_START ? 1 : 0);
    const QString tempo = QString::asprintf("%d", static_cast<int>(state.GetTempo()));
    if (m_tempo->Lines() != QStringList{tempo}) {
        m_tempo->SetText(tempo);
    }
    return 1;
}

LRESULT CFrostedDlg::OnParentChange(WPARAM, LPARAM) {
    // The picture underneath changed: blend the current look over it again, and show the
    // state it stands for.
    CWinMsg::PostMessage(this, WM_FROSTEDSTYLE, static_cast<WPARAM>(-1), 0);
    CWinMsg::PostMessage(this, WM_DATACHANGE, 0, 0);
    return 1;
}

LRESULT CFrostedDlg::OnChanged(WPARAM, LPARAM) {
    const CScorp scope("CFrostedDlg", "OnChanged", CLast::Trace());
    if (CLast::HasManage()) {
        CLast::Manage().SetFrostedStyle(static_cast<FROSTED_STYLE>(FrostedFrame()));
    }
    return 1;
}

LRESULT CFrostedDlg::OnScVoice(UINT message) {
    const CScorp scope("CFrostedDlg", "OnScVoice", CLast::Trace());
    if (CLast::HasManage()) {
        CWinMsg::PostMessage(CLast::Manage().GetConpane(), message, 0, 0);
    }
    return 0;
}

LRESULT CFrostedDlg::OnScReverb(WPARAM, LPARAM) {
    const CScorp scope("CFrostedDlg", "OnScReverb", CLast::Trace());
    if (CLast::HasManage()) {
        CWinMsg::PostMessage(CLast::Manage().GetReverb(), WM_SCREVERB, 0, 0);
    }
    return 0;
}

LRESULT CFrostedDlg::OnScMetronome(WPARAM, LPARAM) {
    const CScorp scope("CFrostedDlg", "OnScMetronome", CLast::Trace());
    if (CLast::HasManage()) {
        CWinMsg::PostMessage(CLast::Manage().GetMetronomeDlg(), WM_SCMETRONOME, 0, 0);
    }
    return 0;
}

LRESULT CFrostedDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_SCGRANDPIANO && message <= WM_SCPIPEORGAN) {
        return OnScVoice(message);
    }
    static const CMessageMap<CFrostedDlg> map{{WM_DATACHANGE, &CFrostedDlg::OnDataChange},
                                              {WM_PARENTCHANGE, &CFrostedDlg::OnParentChange},
                                              {WM_CHANGED, &CFrostedDlg::OnChanged},
                                              {WM_SCREVERB, &CFrostedDlg::OnScReverb},
                                              {WM_SCMETRONOME, &CFrostedDlg::OnScMetronome}};
    if (map.Handles(message)) {
        return map.Dispatch(this, message, wParam, lParam);
    }
    return CIconWndFrosted::OnMessage(message, wParam, lParam);
}
