#include "CTextWnd.h"

#include "CWinMsg.h"
#include "IconMessages.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

CTextWnd::CTextWnd() {
    UseFont(QApplication::font());
}

CTextWnd::~CTextWnd() = default;

QColor CTextWnd::FromColorRef(unsigned int colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

int CTextWnd::CreateEx(const QRect& rect, QWidget* parent) {
    m_popup = true;
    setParent(parent, Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setGeometry(rect);
    show();
    return InitialWnd();
}

int CTextWnd::InitialWnd() {
    // The icon-title font as the program has it when the window is made.
    UseFont(QApplication::font());
    setCursor(Qt::ArrowCursor);
    return 1;
}

void CTextWnd::UseFont(const QFont& font) {
    m_font = font;
    // Lines stand at least 15 pixels apart, further for a font taller than 12 pixels.
    const int height = QFontInfo(font).pixelSize();
    m_lineStep = height > 11 ? -height : -12;
}

void CTextWnd::SetText(const QString& text) {
    m_lines = text.split(QStringLiteral("\r\n"));
    update();
}

void CTextWnd::SetColor(unsigned int colour) {
    m_background = FromColorRef(colour);
    update();
}

void CTextWnd::SetTextColor(unsigned int colour) {
    m_text = FromColorRef(colour);
    update();
}

void CTextWnd::ReDraw() {
    hide();
    show();
}

LRESULT CTextWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_AFTERPAINT) {
        // A borderless child keeps its place; a pop-up is placed by its owner.
        if (!m_popup) {
            setGeometry(geometry());
        }
        return 0;
    }
    return CWndMouse::OnMessage(message, wParam, lParam);
}

void CTextWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(m_font);
    const QRect client = rect();
    painter.fillRect(client, m_background);
    painter.fillRect(QRect(0, 0, client.width(), 1), m_text);
    painter.fillRect(QRect(0, 0, 1, client.height()), m_text);

    const QFontMetrics metrics(m_font);
    int widest = 0;
    for (const QString& line : m_lines) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    const int distance = LineDistance();
    m_measured = QSize(widest + 3 + 3, static_cast<int>(m_lines.size()) * distance + 3);

    int x = 3;
    if (m_align != kLeft && m_lines.size() == 1) {
        const int w = client.width() - (widest + 3) - 3;
        x = m_align == kRight ? w : (w - 3) / 2 + 3;
        // A line wider than the box is cut at its end only, never pushed out on the left.
        x = std::max(x, 3);
    }
    m_drawn.clear();
    painter.setPen(m_text);
    const int room = client.width() - 3;
    int y = 3;
    for (QString line : m_lines) {
        if (metrics.horizontalAdvance(line) > room) {
            // The longest start that fits, found by halving: measuring after every dropped
            // character costs the square of the length, minutes for a very long line.
            qsizetype fits = 0;
            qsizetype tooWide = line.size();
            while (tooWide - fits > 1) {
                const qsizetype middle = fits + (tooWide - fits) / 2;
                if (metrics.horizontalAdvance(line.left(middle)) > room) {
                    tooWide = middle;
                } else {
                    fits = middle;
                }
            }
            if (fits > 0 && line.at(fits - 1).isHighSurrogate()) {
                --fits;
            }
            line.truncate(fits);
        }
        painter.drawText(QRect(x, y, std::max(0, client.width() - x), distance),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
        m_drawn.push_back({QPoint(x, y), line});
        y += distance;
    }
    CWinMsg::PostMessage(this, WM_AFTERPAINT, 0, 0);
}
