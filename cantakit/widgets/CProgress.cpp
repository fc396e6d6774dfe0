#include "CProgress.h"

#include <QPainter>
#include <algorithm>

CProgress::CProgress() {
    // The meter paints every pixel; nothing behind it shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

CProgress::~CProgress() = default;

void CProgress::SetRange(unsigned int low, unsigned int high) {
    if (low >= high) {
        return;
    }
    m_low = low;
    m_high = high;
    update();
}

void CProgress::SetPos(unsigned int position) {
    if (position < m_low || position > m_high) {
        return;
    }
    m_position = position;
    update();
}

std::vector<QRect> CProgress::Segments() const {
    std::vector<QRect> segments;
    const long long n = static_cast<long long>(m_high) - m_low;
    if (n <= 0 || n > height()) {
        // More segments than pixel rows: none can be drawn.
        return segments;
    }
    const int pitch = static_cast<int>(height() / n);
    const int inner = std::max(0, width() - 4);
    for (long long i = 0; i < n; ++i) {
        segments.emplace_back(2, 2 + static_cast<int>(i) * pitch, inner, pitch - 1);
    }
    return segments;
}

int CProgress::LitSegments() const {
    // A range changed after the position may leave it outside: nothing or all is lit then.
    const long long n = static_cast<long long>(m_high) - m_low;
    const long long level = static_cast<long long>(m_position) - m_low;
    return static_cast<int>(std::clamp<long long>(level, 0, n));
}

void CProgress::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect();
    // Border, separators and what lies below the last segment.
    painter.fillRect(client, kBorder);
    const QRect inside = client.adjusted(2, 2, -2, -2);
    painter.setClipRect(inside);
    const std::vector<QRect> segments = Segments();
    const int n = static_cast<int>(segments.size());
    const int lit = LitSegments();
    for (int i = 0; i < n; ++i) {
        if (segments[i].height() > 0) {
            painter.fillRect(segments[i], i >= n - lit ? kLit : kUnlit);
        }
    }
}
