#include "CMetroSpin.h"

#include "CLast.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "IconMessages.h"

#include <QKeyEvent>
#include <algorithm>

namespace {
constexpr unsigned int kHandCursor = 186;
constexpr unsigned int kTextBack = 0xFFFFFF;
constexpr unsigned int kTextColour = 0x586078; // red 120, green 96, blue 88
constexpr int kPageStep = 10;
} // namespace

CMetroSpin::CMetroSpin() = default;
CMetroSpin::~CMetroSpin() = default;

int CMetroSpin::Create(QPoint at, int textWidth, QWidget* parent) {
    setParent(parent);
    setGeometry(at.x(), at.y(), textWidth + kArrowWidth + 1, kHeight);
    setFocusPolicy(Qt::StrongFocus);

    m_text.Create(QRect(0, 0, textWidth, kHeight), this);
    m_text.SetColor(kTextBack);
    m_text.SetTextColor(kTextColour);
    m_text.Center();
    m_text.NoNotify();

    const struct {
        CIconWndButton& button;
        UINT message;
        CVeskError (CTrade::*art)(CBmpMask&);
        int y;
    } arrows[] = {{m_up, WM_SPINUP, &CTrade::GetBmpBtnSpinUp, 0},
                  {m_down, WM_SPINDOWN, &CTrade::GetBmpBtnSpinDown, kHeight / 2}};
    for (const auto& arrow : arrows) {
        CBmpMask mask(this);
        mask.SetMsg(arrow.message);
        (CLast::Trade().*arrow.art)(mask);
        arrow.button.Create(QRect(textWidth + 1, arrow.y, kArrowWidth, kHeight / 2), this, mask);
        arrow.button.Repeat();
        if (!arrow.button.SetCur(kHandCursor)) {
            arrow.button.SetCur(QCursor(Qt::PointingHandCursor));
        }
    }
    m_up.SetHint(QStringLiteral("+"), QString());
    m_down.SetHint(QStringLiteral("-"), QString());
    show();
    ShowValue();
    return 1;
}

void CMetroSpin::SetRange(int low, int high) {
    if (low > high) {
        return;
    }
    m_low = low;
    m_high = high;
    m_value = std::clamp(m_value, low, high);
    ShowValue();
}

void CMetroSpin::SetItems(const QStringList& items) {
    m_items = items;
    ShowValue();
}

void CMetroSpin::SetJump(CIconWndButton::JUMP_LEVEL level) {
    m_up.SetJump(level);
    m_down.SetJump(level);
}

void CMetroSpin::SetPos(int value) {
    if (value < m_low || value > m_high || value == m_value) {
        return;
    }
    m_value = value;
    ShowValue();
}

QString CMetroSpin::Text() const {
    const int item = m_value - m_low;
    if (item >= 0 && item < m_items.size()) {
        return m_items[item];
    }
    return QString::number(m_value);
}

void CMetroSpin::ShowValue() {
    m_text.SetText(Text());
    setAccessibleDescription(Text());
}

void CMetroSpin::Step(int delta) {
    const int value = std::clamp(m_value + delta, m_low, m_high);
    if (value == m_value) {
        return;
    }
    m_value = value;
    ShowValue();
    if (QWidget* holder = parentWidget()) {
        CWinMsg::PostMessage(holder, WM_CHANGED, 0, 0);
    }
}

LRESULT CMetroSpin::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == WM_SPINUP) {
        Step(1);
        return 1;
    }
    if (message == WM_SPINDOWN) {
        Step(-1);
        return 1;
    }
    return 0;
}

void CMetroSpin::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        Step(1);
        break;
    case Qt::Key_Down:
        Step(-1);
        break;
    case Qt::Key_PageUp:
        Step(kPageStep);
        break;
    case Qt::Key_PageDown:
        Step(-kPageStep);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
