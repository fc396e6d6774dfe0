#include "CCantavoView.h"

#include "CBmpMask.h"
#include "CConpaneDlg.h"
#include "CFavouriteFile.h"
#include "CFrostedDlg.h"
#include "CIconWnd.h"
#include "CIconWndSelfish.h"
#include "CInitialDlg.h"
#include "CKeyboardDlg.h"
#include "CLast.h"
#include "CManage.h"
#include "CMessageMap.h"
#include "CMetronomeDlg.h"
#include "CPromptSoundFile.h"
#include "CReverbDlg.h"
#include "CScorp.h"
#include "CStereoDlg.h"
#include "CTrace.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "IconMessages.h"
#include "VESK_DATA.h"

#include <QCursor>

namespace {

// The anchors of the pictures on the hall: left edge and bottom edge.
constexpr QPoint kVoiceAnchor(400, 390);
constexpr QPoint kStereoAnchor(40, 430);
constexpr QPoint kMetronomeAnchor(680, 410);

} // namespace

CCantavoView::CCantavoView(QWidget* parent) : CMessageReceiver<QWidget>(parent) {
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CCantavoView::~CCantavoView() {
    // The engine must not be told of windows that are going, nor keep takes that go with them.
    ReleaseTakes();
    if (CLast::HasManage()) {
        CManage& manage = CLast::Manage();
        for (auto registration : m_toolRegistrations) {
            (manage.*registration)(nullptr);
        }
        manage.SetReverbIcon(nullptr);
        manage.SetDualIcon(nullptr);
        manage.SetStereoIcon(nullptr);
        manage.SetMetronomeIcon(nullptr);
        manage.SetTimbreIcon(nullptr);
        manage.SetFrosted(nullptr);
        // The engine's message window is the manager itself and outlives the view.
        if (m_engineParent) {
            manage.Create(nullptr);
        }
    }
    for (const QPointer<QWidget>& tool : m_tools) {
        delete tool.data();
    }
}

CIconWndSelfish* CCantavoView::MetronomeIcon() const {
    return static_cast<CIconWndSelfish*>(m_metronomeIcon.data());
}

QRect CCantavoView::Placement(QPoint leftBottom, QSize size) {
    return {QPoint(leftBottom.x(), leftBottom.y() - size.height()), size};
}

void CCantavoView::RegisterCursors() {
    CWndMouse::RegisterCursor(IDC_HAND, QCursor(Qt::PointingHandCursor));
    CWndMouse::RegisterCursor(IDC_PALETTE, QCursor(Qt::PointingHandCursor));
    CWndMouse::RegisterCursor(IDC_HALL, QCursor(Qt::ArrowCursor));
}

std::unique_ptr<QWidget> CCantavoView::MakeStartupPicture() {
    // Without owner, shown and painted at once: the engine's start holds the window thread.
    auto picture = std::make_unique<CInitialDlg>();
    picture->show();
    picture->repaint();
    return picture;
}

void CCantavoView::RestorePaletteLook() {
    // The palette's look is a preference of the screen, not a setting of the piano: it comes
    // back from the last orderly exit at every start, while the piano's settings come back
    // only when the user loads them (the menu, or message 0x423).
    VESK_DATA last;
    if (CFavouriteFile::Read(CFavouriteFile::kLastExit, last) &&
        last.version == VESK_DATA::kVersion &&
        last.frostedStyle <= static_cast<std::uint32_t>(FROSTED_STYLE_NONE)) {
        CLast::Manage().SetFrostedStyle(static_cast<FROSTED_STYLE>(last.frostedStyle));
    }
}

void CCantavoView::OnInitialUpdate() {
    const CScorp scope("CCantavoView", "OnInitialUpdate", CLast::Trace());
    std::unique_ptr<QWidget> picture = MakeStartupPicture();
    CManage& manage = CLast::Manage();
    manage.Create(this);
    m_engineParent = true;
    RestorePaletteLook();
    CreateIcon();
    CreateDialog();
    CreateSoundFile();
    // Device errors are reported by the engine as they happen.
    manage.Initialize();
    manage.Refresh();
    picture.reset();
    CLast::Trace().TraceEnd();
}

void CCantavoView::CreateIcon() {
    const CScorp scope("CCantavoView", "CreateIcon", CLast::Trace());
    RegisterCursors();
    CManage& manage = CLast::Manage();
    CTrade& trade = CLast::Trade();

    CBmpMask mask(this);
    mask.SetMsg(WM_REVERBCLICK);
    mask.SetRgnFlag(CBmpMask::RGN_RECT);
    trade.GetBmpReverb(mask);
    m_reverbIcon = new CIconWnd;
    m_reverbIcon->Create(rect(), this, mask);
    m_reverbIcon->SetCur(IDC_HALL);
    manage.SetReverbIcon(m_reverbIcon);

    // The pictures on the hall share one mask object, refilled for each.
    mask.Clear();
    mask.SetRgnFlag(CBmpMask::RGN_SHAPED);
    const auto place = [&](QPointer<CIconWnd>& icon, CIconWnd* window, UINT message,
                           CVeskError (CTrade::*frames)(CBmpMask&), QPoint anchor,
                           void (CDlgCtrl::*registration)(QObject*)) {
        mask.Clear();
        mask.SetMsg(message);
        (trade.*frames)(mask);
        icon = window;
        icon->Create(Placement(anchor, mask.GetAniRect(0).size()), m_reverbIcon, mask);
        icon->SetCur(IDC_HAND);
        (manage.*registration)(icon);
    };
    place(m_dualIcon, new CIconWnd, WM_DUALCLICK, &CTrade::GetBmpTimbre, kVoiceAnchor,
          &CDlgCtrl::SetDualIcon);
    place(m_stereoIcon, new CIconWnd, WM_STEREOCLICK, &CTrade::GetBmpStereo, kStereoAnchor,
          &CDlgCtrl::SetStereoIcon);
    auto* metronome = new CIconWndSelfish;
    place(m_metronomeIcon, metronome, WM_METRONOMECLICK, &CTrade::GetBmpMetronome, kMetronomeAnchor,
          &CDlgCtrl::SetMetronomeIcon);
    for (auto character : {&CTrade::GetBmpMetAniMet, &CTrade::GetBmpMetAniCon,
                           &CTrade::GetBmpMetAniBea, &CTrade::GetBmpMetAniLad}) {
        CBmpMask frames(this);
        frames.SetMsg(WM_METRONOMECLICK);
        (trade.*character)(frames);
        metronome->SetSelfishMask(frames);
    }
    place(m_timbreIcon, new CIconWnd, WM_TIMBRECLICK, &CTrade::GetBmpTimbre, kVoiceAnchor,
          &CDlgCtrl::SetTimbreIcon);

    // The palette: its clicks are data changes of the view.
    CBmpMask palette(this);
    palette.SetMsg(WM_DATACHANGE);
    trade.GetBmpReverbMask(palette);
    CFrostedDlg* frosted = MakeFrosted();
    m_frosted = frosted;
    m_frosted->Create(m_reverbIcon->rect(), m_reverbIcon, palette);
    // The keyboard lies in the palette's keyboard area and comes and goes with its looks.
    frosted->SetKeyboard(new CKeyboardDlg(frosted));
    m_frosted->SetCur(IDC_PALETTE);
    manage.SetFrosted(m_frosted);
    m_reverbIcon->SetChild(m_frosted);
    CLast::Trace().TraceEnd();
}

CFrostedDlg* CCantavoView::MakeFrosted() {
    return new CFrostedDlg;
}

void CCantavoView::AddToolWindow(QWidget* window, void (CDlgCtrl::*registration)(QObject*)) {
    window->setParent(this, window->windowFlags() | Qt::Dialog);
    window->hide();
    m_tools.emplace_back(window);
    m_toolRegistrations.push_back(registration);
    (CLast::Manage().*registration)(window);
}

void CCantavoView::CreateDialog() {
    const CScorp scope("CCantavoView", "CreateDialog", CLast::Trace());
    // The tool windows, created hidden in this order, each one line; a click on its picture
    // shows it. The sound settings panel and the metronome window report to the view.
    auto* conpane = new CConpaneDlg;
    conpane->Create(this);
    conpane->SetParentWnd(this);
    AddToolWindow(conpane, &CDlgCtrl::SetConpane);
    auto* metronome = new CMetronomeDlg;
    metronome->SetReportTo(this);
    AddToolWindow(metronome, &CDlgCtrl::SetMetronomeDlg);
    AddToolWindow(new CStereoDlg, &CDlgCtrl::SetStereo);
    AddToolWindow(new CReverbDlg, &CDlgCtrl::SetReverb);
    CLast::Trace().TraceEnd();
}

std::unique_ptr<CSoundFile> CCantavoView::MakeTake(const QString& extension, const QString&) {
    // The take names its kind in its questions from the extension.
    return std::make_unique<CPromptSoundFile>(extension);
}

void CCantavoView::CreateSoundFile() {
    CManage& manage = CLast::Manage();
    m_midiTake = MakeTake(QStringLiteral(".mid"), QStringLiteral("ＭＩＤＩファイル"));
    manage.SetSeqFile(m_midiTake.get());
    m_audioTake = MakeTake(QStringLiteral(".wav"), QStringLiteral("オーディオファイル"));
    manage.SetAudFile(m_audioTake.get());
}

void CCantavoView::ReleaseTakes() {
    if (!CLast::HasManage()) {
        return;
    }
    CManage& manage = CLast::Manage();
    if (m_midiTake != nullptr) {
        manage.SetSeqFile(nullptr);
        m_midiTake.reset();
    }
    if (m_audioTake != nullptr) {
        manage.SetAudFile(nullptr);
        m_audioTake.reset();
    }
}

LRESULT CCantavoView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CCantavoView> map{
        {WM_DATACHANGE, &CCantavoView::OnDataChange},
        {WM_TIMBRECLICK, &CCantavoView::OnShowConpane},
        {WM_DUALCLICK, &CCantavoView::OnShowConpane},
        {WM_REVERBCLICK, &CCantavoView::OnShowReverb},
        {WM_METRONOMECLICK, &CCantavoView::OnShowMetronome},
        {WM_STEREOCLICK, &CCantavoView::OnShowStereo},
    };
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CCantavoView::OnDataChange(WPARAM, LPARAM) {
    if (!CLast::HasManage()) {
        return 0;
    }
    CManage& manage = CLast::Manage();
    if (CIconWndSelfish* metronome = MetronomeIcon()) {
        metronome->ChangeChar(static_cast<unsigned int>(manage.GetMetroCharType()));
    }
    manage.WakeUpMetro();
    for (CIconWnd* icon : {m_timbreIcon.data(), m_dualIcon.data(), m_stereoIcon.data()}) {
        if (icon != nullptr) {
            icon->update();
        }
    }
    if (m_frosted != nullptr) {
        CWinMsg::PostMessage(m_frosted, WM_DATACHANGE, 0, 0);
    }
    // The hall covers the whole view, which has no pixels of its own to redraw; repainting it
    // would repaint every picture on it at each change.
    return 0;
}

void CCantavoView::ShowTool(QObject* registered) {
    // A tool window that is not part of the program yet is simply not there.
    if (auto* window = qobject_cast<QWidget*>(registered)) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

LRESULT CCantavoView::OnShowConpane(WPARAM, LPARAM) {
    ShowTool(CLast::Manage().GetConpane());
    return 0;
}

LRESULT CCantavoView::OnShowReverb(WPARAM, LPARAM) {
    ShowTool(CLast::Manage().GetReverb());
    return 0;
}

LRESULT CCantavoView::OnShowMetronome(WPARAM, LPARAM) {
    ShowTool(CLast::Manage().GetMetronomeDlg());
    return 0;
}

LRESULT CCantavoView::OnShowStereo(WPARAM, LPARAM) {
    ShowTool(CLast::Manage().GetStereo());
    return 0;
}
