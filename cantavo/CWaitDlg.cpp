#include "CWaitDlg.h"

#include "CFusion.h"
#include "CLast.h"
#include "CMessageDlg.h"
#include "CMessageMap.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CTrade.h"
#include "IconMessages.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>

namespace {

CTrade& Skin() {
    static CTrade own;
    return CLast::HasTrade() ? CLast::Trade() : own;
}

// The bar stands 10 pixels in from the sides and 15 from the top and bottom.
constexpr int kInsetX = 10;
constexpr int kInsetY = 15;
constexpr int kCellWidth = 5;
constexpr int kCellPitch = 6;

} // namespace

CWaitDlg::CWaitDlg(QWidget* parent)
    : CMessageReceiver<QDialog>(parent,
                                Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("メッセージ"));
    ResizeDlg();
}

CWaitDlg::~CWaitDlg() = default;

void CWaitDlg::ResizeDlg() {
    setFixedSize(kClientWidth, kClientHeight);
    QWidget* owner = parentWidget();
    QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect over = owner != nullptr ? owner->window()->frameGeometry() : area;
    const QSize outer = frameGeometry().size();
    move(over.center() - QPoint(outer.width() / 2, outer.height() / 2));
}

QRect CWaitDlg::CellRect(int cell) {
    return QRect(kInsetX + cell * kCellPitch, kInsetY, kCellWidth, kClientHeight - 2 * kInsetY);
}
QColor CWaitDlg::LitColour() {
    return QColor(246, 254, 10);
}
QColor CWaitDlg::UnlitColour() {
    return QColor(223, 174, 98);
}

void CWaitDlg::StartAnimation(int interval) {
    const CScorp scope("CWaitDlg", "StartAnimation", CLast::Trace());
    if (m_timer != 0) {
        killTimer(m_timer);
    }
    m_position = 0;
    m_interval = interval;
    update();
    m_timer = startTimer(interval);
}

void CWaitDlg::StopAnimation(bool full) {
    const CScorp scope("CWaitDlg", "StopAnimation", CLast::Trace());
    if (m_timer != 0) {
        killTimer(m_timer);
        m_timer = 0;
    }
    if (full) {
        m_position = kCells;
        update();
    }
}

void CWaitDlg::Step() {
    m_position = (m_position + 1) % kCells;
    update(QRect(CellRect(0).topLeft(), CellRect(kCells - 1).bottomRight()));
}

void CWaitDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer) {
        Step();
        return;
    }
    QDialog::timerEvent(event);
}

void CWaitDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin().PaintDlgBack(this, painter);
    for (int cell = 0; cell < kCells; ++cell) {
        painter.fillRect(CellRect(cell), cell <= m_position ? LitColour() : UnlitColour());
    }
}

LRESULT CWaitDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CWaitDlg> map{
        {WM_WAITMESSAGE, &CWaitDlg::OnWaitMessage},
        {WM_WAITSTOP, &CWaitDlg::OnWaitStop},
        {WM_DATACHANGE, &CWaitDlg::OnDataChange},
    };
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CWaitDlg::OnWaitMessage(WPARAM wParam, LPARAM) {
    const auto* text = reinterpret_cast<const QString*>(wParam);
    if (text == nullptr) {
        return 0;
    }
    // The box runs a nested loop in which this window may be ended (see Dismiss) or go with
    // its owner; the box is this window's child, so it then goes with it.
    const QPointer<CWaitDlg> alive(this);
    auto* box = new CMessageDlg(this);
    const QPointer<CMessageDlg> boxAlive(box);
    box->SetText(*text, MB_OK, QStringLiteral("メッセージ"));
    ++m_openBoxes;
    box->DoModal();
    delete boxAlive.data();
    if (alive == nullptr) {
        return 0;
    }
    if (--m_openBoxes == 0 && m_dismissed) {
        deleteLater();
    }
    return 0;
}

void CWaitDlg::Dismiss() {
    StopAnimation(false);
    if (m_openBoxes == 0) {
        delete this;
        return;
    }
    m_dismissed = true;
    hide();
}

LRESULT CWaitDlg::OnWaitStop(WPARAM wParam, LPARAM) {
    StopAnimation(wParam != 0);
    return 0;
}

// A data change means nothing to the bar; it is only written down.
LRESULT CWaitDlg::OnDataChange(WPARAM, LPARAM) {
    const CScorp scope("CWaitDlg", "OnDataChange", CLast::Trace());
    return 0;
}

// Only whoever showed the window ends it: neither a key nor the window manager's close does.
void CWaitDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CWaitDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void CWaitDlg::reject() {}
