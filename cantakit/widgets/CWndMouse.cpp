#include "CWndMouse.h"

#include <QMouseEvent>
#include <map>

namespace {
std::map<unsigned int, QCursor>& Cursors() {
    static auto* cursors = new std::map<unsigned int, QCursor>;
    return *cursors;
}
} // namespace

CWndMouse::CWndMouse() {
    // Moves without a button are needed for hover and leave tracking.
    setMouseTracking(true);
}

CWndMouse::~CWndMouse() = default;

int CWndMouse::Create(const QRect& rect, QWidget* parent) {
    setParent(parent);
    setGeometry(rect);
    show();
    return InitialWnd();
}

int CWndMouse::InitialWnd() {
    return 1;
}

void CWndMouse::RegisterCursor(unsigned int resource, const QCursor& cursor) {
    Cursors()[resource & 0xFFFFu] = cursor;
}

bool CWndMouse::SetCur(unsigned int resource) {
    const auto found = Cursors().find(resource & 0xFFFFu);
    if (found == Cursors().end()) {
        return false;
    }
    SetCur(found->second);
    return true;
}

void CWndMouse::SetCur(const QCursor& cursor) {
    m_cursor = cursor;
    setCursor(cursor);
}

void CWndMouse::NoNotify() {
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
}

bool CWndMouse::HitTest(const QPoint& p) const {
    if (!rect().contains(p)) {
        return false;
    }
    const QRegion outline = mask();
    return outline.isEmpty() || outline.contains(p);
}

LRESULT CWndMouse::OnMessage(UINT, WPARAM, LPARAM) {
    return 0;
}

void CWndMouse::OnMouseMove(const QPoint&) {
    // Leave is reported once per stay in the window; Qt reports it without being asked, so
    // the request always succeeds.
    if (m_tracking) {
        m_tracking = false;
    }
}

void CWndMouse::OnLButtonDown(const QPoint&) {
    m_pressed = true;
}

void CWndMouse::OnLButtonUp(const QPoint&) {
    m_pressed = false;
}

void CWndMouse::OnLButtonDblClk(const QPoint& at) {
    OnLButtonDown(at);
}

void CWndMouse::OnMouseLeave() {
    m_tracking = true;
    m_pressed = false;
}

void CWndMouse::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if ((event->buttons() & Qt::LeftButton) && m_pressed && LetsGoOutside() && !HitTest(at)) {
        OnMouseLeave();
        return;
    }
    if (!HitTest(at) && LetsGoOutside()) {
        return;
    }
    OnMouseMove(at);
}

void CWndMouse::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !HitTest(at)) {
        event->ignore();
        return;
    }
    OnLButtonDown(at);
}

void CWndMouse::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !HitTest(at)) {
        event->ignore();
        return;
    }
    OnLButtonDblClk(at);
}

void CWndMouse::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (LetsGoOutside() && !HitTest(at)) {
        // Released over another window: for this one the mouse simply left.
        if (m_pressed) {
            OnMouseLeave();
        }
        return;
    }
    OnLButtonUp(at);
}

void CWndMouse::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    OnMouseLeave();
}
