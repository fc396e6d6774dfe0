#include "CSlider.h"

#include "CWinMsg.h"
#include "IconMessages.h"

#include <algorithm>

CSlider::CSlider() = default;
CSlider::~CSlider() = default;

void CSlider::SetRange(int low, int high) {
    if (low >= high) {
        return;
    }
    m_offset = -static_cast<long long>(low);
    m_lowest = 0;
    m_highest = static_cast<long long>(high) - low;
    m_position = 0;
}

void CSlider::SetPos(int position) {
    const long long internal = position + m_offset;
    if (internal != m_position && internal >= m_lowest && internal <= m_highest) {
        m_position = internal;
        update();
    }
}

int CSlider::PosAt(int x) const {
    const int w = width();
    const long long n = m_highest - m_lowest;
    if (w <= 0 || n <= 0) {
        return GetPos();
    }
    // The nearest step, with percent precision.
    // Beyond the ends the bound is the answer; clamping the percent first keeps n * percent in
    // range for any x.
    const long long percent =
        std::clamp<long long>((static_cast<long long>(x) + w / n / 2) * 100 / w, 0, 100);
    const long long step = std::clamp<long long>(n * percent / 100, m_lowest, m_highest);
    return static_cast<int>(step - m_offset);
}

void CSlider::Follow(const QPoint& at) {
    SetPos(PosAt(at.x()));
}

void CSlider::PostToParent() {
    CWinMsg::PostMessage(parentWidget(), WM_CHANGED, 0, 0);
}

void CSlider::OnMouseMove(const QPoint& at) {
    CWndMouse::OnMouseMove(at);
    if (m_pressed) {
        Follow(at);
    }
}

void CSlider::OnLButtonDown(const QPoint& at) {
    PostToParent();
    CWndMouse::OnLButtonDown(at);
    Follow(at);
}

void CSlider::OnLButtonUp(const QPoint& at) {
    PostToParent();
    CWndMouse::OnLButtonUp(at);
    Follow(at);
}

void CSlider::OnMouseLeave() {
    if (m_pressed) {
        // The drag goes on outside; the release ends it.
        return;
    }
    PostToParent();
    CWndMouse::OnMouseLeave();
}

void CSlider::hideEvent(QHideEvent* event) {
    CWndMouse::hideEvent(event);
    if (IsPressed()) {
        CWndMouse::OnMouseLeave();
        PostToParent();
    }
}
