#include "CReverbDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "CScorp.h"
#include "CTrade.h"
#include "IconMessages.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

namespace {
constexpr unsigned int kHandCursor = 186;
}

CReverbDlg::CReverbDlg(QWidget* parent) : CMessageReceiver<QWidget>(parent, Qt::Tool) {
    const CScorp scope("CReverbDlg", "CReverbDlg", CLast::Trace());
    setWindowTitle(QStringLiteral("リバーブ"));
    setFixedSize(kClientSize);
    const struct {
        CIconWndButton& button;
        CVeskError (CTrade::*art)(CBmpMask&);
        QPoint at;
        UINT message;
        const char* name;
    } buttons[] = {{m_off, &CTrade::GetBmpBtnOff, QPoint(15, 15), WM_SCOFF, "OFF"},
                   {m_on, &CTrade::GetBmpBtnOn, QPoint(57, 15), WM_SCON, "ON"}};
    for (const auto& item : buttons) {
        CBmpMask mask(this);
        mask.SetMsg(item.message);
        (CLast::Trade().*item.art)(mask);
        item.button.Create(QRect(item.at, mask.GetAniRect(0).size()), this, mask);
        item.button.SetHint(QString::fromLatin1(item.name), QString());
        if (!item.button.SetCur(kHandCursor)) {
            item.button.SetCur(QCursor(Qt::PointingHandCursor));
        }
    }
    OnDataChange(0, 0);
}

CReverbDlg::~CReverbDlg() {
    const CScorp scope("CReverbDlg", "~CReverbDlg", CLast::Trace());
}

QPoint CReverbDlg::Placement(QPoint cursor, QSize window, const QRect& desktop) {
    // Kept on the pointer's desktop, which need not begin at 0: a screen beside or left of the
    // first one, a panel along the top.
    int x = std::max(desktop.x(), cursor.x() - kPointerOffset);
    int y = std::max(desktop.y(), cursor.y() - kPointerOffset);
    if (x + window.width() > desktop.x() + desktop.width()) {
        x = desktop.x() + desktop.width() - window.width();
    }
    if (y + window.height() > desktop.y() + desktop.height()) {
        y = desktop.y() + desktop.height() - window.height();
    }
    return QPoint(x, y);
}

void CReverbDlg::PlaceAtPointer() {
    const QPoint cursor = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(cursor);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    // The frame around the client area, once the window system has given it one.
    const QSize frame = frameGeometry().size().expandedTo(size());
    move(Placement(cursor, frame, screen->availableGeometry()));
}

void CReverbDlg::showEvent(QShowEvent* event) {
    if (event->spontaneous()) {
        // Shown again because its owner came back from the taskbar: it only opens on request.
        hide();
        return;
    }
    PlaceAtPointer();
    QWidget::showEvent(event);
}

LRESULT CReverbDlg::OnDataChange(WPARAM, LPARAM) {
    if (!CLast::HasManage()) {
        return 0;
    }
    const bool off = CLast::Manage().GetReverbOffOn() != REVERB_ON;
    m_off.Check(off ? 1 : 0);
    m_on.Check(off ? 0 : 1);
    return 1;
}

LRESULT CReverbDlg::OnScOn(WPARAM, LPARAM) {
    const CScorp scope("CReverbDlg", "OnScOn", CLast::Trace());
    if (CLast::HasManage()) {
        CLast::Manage().SetReverbOffOn(REVERB_ON, nullptr);
    }
    hide();
    return 1;
}

LRESULT CReverbDlg::OnScOff(WPARAM, LPARAM) {
    const CScorp scope("CReverbDlg", "OnScOff", CLast::Trace());
    if (CLast::HasManage()) {
        CLast::Manage().SetReverbOffOn(REVERB_OFF, nullptr);
    }
    hide();
    return 1;
}

LRESULT CReverbDlg::OnScReverb(WPARAM, LPARAM) {
    const CScorp scope("CReverbDlg", "OnScReverb", CLast::Trace());
    if (CLast::HasManage()) {
        CManage& state = CLast::Manage();
        state.SetReverbOffOn(state.GetReverbOffOn() == REVERB_ON ? REVERB_OFF : REVERB_ON, nullptr);
    }
    return 1;
}

LRESULT CReverbDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CReverbDlg> map{{WM_DATACHANGE, &CReverbDlg::OnDataChange},
                                             {WM_SCON, &CReverbDlg::OnScOn},
                                             {WM_SCOFF, &CReverbDlg::OnScOff},
                                             {WM_SCREVERB, &CReverbDlg::OnScReverb}};
    return map.Dispatch(this, message, wParam, lParam);
}

void CReverbDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    CLast::Trade().PaintDlgBack(this, painter);
}
