#include "CMetronomeDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "CScorp.h"
#include "CTrade.h"
#include "IconMessages.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

constexpr unsigned int kHandCursor = 186;
constexpr int kTempoLow = 40;
constexpr int kTempoHigh = 300;
constexpr int kSpinTextWidth = 52;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void HandCursor(CIconWndButton& button) {
    if (!button.SetCur(kHandCursor)) {
        button.SetCur(QCursor(Qt::PointingHandCursor));
    }
}

} // namespace

CMetronomeDlg::CMetronomeDlg(QWidget* parent) : CMessageReceiver<QWidget>(parent, Qt::Tool) {
    const CScorp scope("CMetronomeDlg", "CMetronomeDlg", CLast::Trace());
    setWindowTitle(QStringLiteral("メトロノーム"));
    setFixedSize(kClientSize);
    CreateParts();
    if (CLast::HasManage()) {
        CheckCharacters(CLast::Manage().GetMetroCharType());
    }
}

CMetronomeDlg::~CMetronomeDlg() {
    const CScorp scope("CMetronomeDlg", "~CMetronomeDlg", CLast::Trace());
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CMetronomeDlg::CreateParts() {
    const struct {
        CVeskError (CTrade::*art)(CBmpMask&);
        QPoint at;
    } captions[] = {{&CTrade::GetTextTempo, QPoint(20, 52)}, {&CTrade::GetTextBeat, {20, 82}}};
    for (std::size_t i = 0; i < m_captions.size(); ++i) {
        CBmpMask mask(this);
        (CLast::Trade().*captions[i].art)(mask);
        m_captions[i].Create(QRect(captions[i].at, mask.GetAniRect(0).size()), this, mask);
        m_captions[i].NoNotify();
    }

    m_tempo.Create(QPoint(73, 48), kSpinTextWidth, this);
    m_tempo.SetRange(kTempoLow, kTempoHigh);
    m_tempo.SetJump(CIconWndButton::JUMP_TWICE);
    m_tempo.setAccessibleName(QStringLiteral("テンポ"));
    m_beat.Create(QPoint(73, 78), kSpinTextWidth, this);
    m_beat.SetRange(BEAT_NONE, BEAT_6_8);
    m_beat.SetItems({QStringLiteral("OFF"), QStringLiteral("2/4"), QStringLiteral("3/4"),
                     QStringLiteral("4/4"), QStringLiteral("5/4"), QStringLiteral("6/8")});
    m_beat.setAccessibleName(QStringLiteral("拍子"));
    if (CLast::HasManage()) {
        m_tempo.SetPos(static_cast<int>(CLast::Manage().GetTempo()));
        m_beat.SetPos(CLast::Manage().GetBeat());
    }

    CBmpMask startStop(this);
    startStop.SetMsg(WM_SCMETRONOME);
    startStop.SetEventFlag(CBmpMask::EVENT_UP);
    CLast::Trade().GetBmpStartStop(startStop);
    m_startStop.Create(QRect(QPoint(40, 140), startStop.GetAniRect(0).size()), this, startStop);
    m_startStop.SetHint(QStringLiteral("START/STOP"), QStringLiteral("START/STOP"));
    HandCursor(m_startStop);

    const struct {
        CVeskError (CTrade::*art)(CBmpMask&);
        QPoint at;
    } characters[kCharacters] = {{&CTrade::GetBmpMetro01, QPoint(170, 20)},
                                 {&CTrade::GetBmpMetro02, QPoint(170, 120)},
                                 {&CTrade::GetBmpMetro03, QPoint(270, 20)},
                                 {&CTrade::GetBmpMetro04, QPoint(270, 120)}};
    for (int i = 0; i < kCharacters; ++i) {
        CBmpMask mask(this);
        mask.SetMsg(WM_SCMETROCHAR1 + static_cast<UINT>(i));
        (CLast::Trade().*characters[i].art)(mask);
        CIconWndButton& button = m_chars[static_cast<std::size_t>(i)];
        button.Create(QRect(characters[i].at, mask.GetAniRect(0).size()), this, mask);
        const QString name = QStringLiteral("キャラクター%1").arg(i + 1);
        button.SetHint(name, name);
        HandCursor(button);
    }
}

void CMetronomeDlg::CheckCharacters(int type) {
    for (int i = 0; i < kCharacters; ++i) {
        m_chars[static_cast<std::size_t>(i)].Check(i == type ? 1 : 0);
    }
}

bool CMetronomeDlg::IsToggling() const {
    return m_busy.load() || Now() < m_quietUntil.load();
}

LRESULT CMetronomeDlg::OnDataChange(WPARAM wParam, LPARAM lParam) {
    const CScorp scope("CMetronomeDlg", "OnDataChange", CLast::Trace());
    if (!CLast::HasManage()) {
        return 0;
    }
    CManage& state = CLast::Manage();
    m_tempo.SetPos(static_cast<int>(state.GetTempo()));
    m_beat.SetPos(state.GetBeat());
    CheckCharacters(state.GetMetroCharType());
    m_startStop.Check(state.GetMetStatus() == MET_START ? 1 : 0);
    if (m_reportTo) {
        CWinMsg::PostMessage(m_reportTo, WM_DATACHANGE, wParam, lParam);
    }
    return 1;
}

LRESULT CMetronomeDlg::OnChanged(WPARAM, LPARAM) {
    const CScorp scope("CMetronomeDlg", "OnChanged", CLast::Trace());
    if (!CLast::HasManage()) {
        return 0;
    }
    CManage& state = CLast::Manage();
    state.SetTempo(static_cast<unsigned int>(m_tempo.GetPos()), nullptr);
    state.SetBeat(static_cast<E_BEAT>(m_beat.GetPos()), nullptr);
    return 1;
}

LRESULT CMetronomeDlg::OnScMetronome(WPARAM, LPARAM) {
    const CScorp scope("CMetronomeDlg", "OnScMetronome", CLast::Trace());
    if (!CLast::HasManage() || IsToggling()) {
        return 0;
    }
    CManage& manage = CLast::Manage();
    if (m_worker.joinable()) {
        m_worker.join(); // finished: m_busy was cleared at its end
    }
    if (manage.GetMetStatus() == MET_STOP) {
        // Starting takes no time worth a thread, and its refusal or a missing audio device
        // is shown as a message, which belongs to the window thread.
        manage.MetroStartStop();
        m_quietUntil = Now() + std::chrono::nanoseconds(kAbsorb).count();
        return 0;
    }
    // Stopping waits for the last sound to ring out; it shows no message.
    m_busy = true;
    m_worker = std::thread([this, &manage] {
        // The stop's announcement brings this window and the character to rest.
        manage.MetroStop();
        m_quietUntil = Now() + std::chrono::nanoseconds(kAbsorb).count();
        m_busy = false;
    });
    return 0;
}

LRESULT CMetronomeDlg::OnScMetroChar(UINT message) {
    const CScorp scope("CMetronomeDlg", "OnScMetroChar", CLast::Trace());
    if (CLast::HasManage()) {
        CLast::Manage().SetMetroCharType(static_cast<E_METROCHARTYPE>(message - WM_SCMETROCHAR1),
                                         nullptr);
    }
    return 1;
}

LRESULT CMetronomeDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_SCMETROCHAR1 && message < WM_SCMETROCHAR1 + kCharacters) {
        return OnScMetroChar(message);
    }
    static const CMessageMap<CMetronomeDlg> map{{WM_DATACHANGE, &CMetronomeDlg::OnDataChange},
                                                {WM_CHANGED, &CMetronomeDlg::OnChanged},
                                                {WM_SCMETRONOME, &CMetronomeDlg::OnScMetronome}};
    return map.Dispatch(this, message, wParam, lParam);
}

void CMetronomeDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    CLast::Trade().PaintDlgBack(this, painter);
}

void CMetronomeDlg::mousePressEvent(QMouseEvent* event) {
    // The background drags the window, as its caption would.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CMetronomeDlg::showEvent(QShowEvent* event) {
    setFixedSize(kClientSize);
    QWidget::showEvent(event);
}
