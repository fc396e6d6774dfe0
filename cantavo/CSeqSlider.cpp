#include "CSeqSlider.h"

#include "RecorderSkin.h"

#include <QPainter>
#include <algorithm>

CSeqSlider::CSeqSlider() {
    m_thumb = recorderskin::Picture(&CTrade::GetSpinPoint);
}

CSeqSlider::~CSeqSlider() = default;

void CSeqSlider::SetRange(int low, int high) {
    CSlider::SetRange(low, high);
    if (low < high) {
        m_low = low;
        m_high = high;
    }
    update();
}

void CSeqSlider::SetPos(int position) {
    if (position != GetPos()) {
        CSlider::SetPos(position);
        update();
    }
}

void CSeqSlider::OnMouseMove(const QPoint& at) {
    const int before = GetPos();
    CSlider::OnMouseMove(at);
    if (GetPos() != before) {
        m_userMoved = true;
        update();
    }
}

void CSeqSlider::OnLButtonDown(const QPoint& at) {
    CSlider::OnLButtonDown(at);
    m_userMoved = true;
    update();
}

void CSeqSlider::OnLButtonUp(const QPoint& at) {
    CSlider::OnLButtonUp(at);
    m_userMoved = true;
    update();
}

QRect CSeqSlider::ThumbRect() const {
    const int travel = std::max(0, width() - kThumbWidth);
    const long long span = static_cast<long long>(m_high) - m_low;
    const long long offset = static_cast<long long>(GetPos()) - m_low;
    const int x = span > 0 ? static_cast<int>(offset * travel / span) : 0;
    const int thumbHeight =
        m_thumb.isNull() ? 11 : qRound(m_thumb.height() / m_thumb.devicePixelRatio());
    return QRect(std::clamp(x, 0, travel), (height() - thumbHeight) / 2, kThumbWidth, thumbHeight);
}

void CSeqSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), kTrack);
    const int middle = h / 2;
    painter.fillRect(QRect(0, middle - 2, w, 2), kLine);
    const int barTop = 5;
    const int barBottom = h - 7;
    if (barBottom > barTop) {
        painter.fillRect(QRect(0, barTop, 2, barBottom - barTop), kLine);
        painter.fillRect(QRect(w - 2, barTop, 2, barBottom - barTop), kLine);
        const long long steps = static_cast<long long>(m_high) - m_low;
        if (steps > 1 && w / steps >= kNarrowestStep) {
            for (long long i = 1; i < steps; ++i) {
                const int x = static_cast<int>(i * (w - 2) / steps);
                painter.fillRect(QRect(x, barTop, 2, barBottom - barTop), kLine);
            }
        }
    }
    const QRect thumb = ThumbRect();
    painter.fillRect(thumb, kTrack);
    painter.drawImage(thumb.topLeft(), m_thumb);
}
