#include "CIconWndButton.h"

#include "IconMessages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTimerEvent>
#include <algorithm>

namespace {

// What a screen reader learns of an icon button: a button (a check box when checked), its
// name and hint, whether it can be used, and a press action.
class CIconButtonAccessible : public QAccessibleWidget {
public:
    explicit CIconButtonAccessible(CIconWndButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const auto* button = static_cast<const CIconWndButton*>(widget());
        s.disabled = button->IsEnabled() == 0;
        s.checkable = true;
        s.checked = button->Checkd() != 0;
        return s;
    }
    QStringList actionNames() const override { return {QAccessibleActionInterface::pressAction()}; }
    void doAction(const QString& action) override {
        if (action == QAccessibleActionInterface::pressAction()) {
            static_cast<CIconWndButton*>(widget())->Click();
        }
    }
};

QAccessibleInterface* AccessibleFactory(const QString&, QObject* object) {
    if (auto* button = dynamic_cast<CIconWndButton*>(object)) {
        return new CIconButtonAccessible(button);
    }
    return nullptr;
}

} // namespace

CIconWndButton::CIconWndButton() {
    static const bool installed = [] {
        QAccessible::installFactory(AccessibleFactory);
        return true;
    }();
    (void)installed;
}

CIconWndButton::~CIconWndButton() = default;

void CIconWndButton::SetHint(const QString& name, const QString& tooltip) {
    setAccessibleName(name);
    setToolTip(tooltip);
}

void CIconWndButton::Click() {
    if (!m_enabled || m_locked) {
        return;
    }
    OnLButtonDown(QPoint());
    OnLButtonUp(QPoint());
}

void CIconWndButton::SelectFrame(int frame) {
    ChangeBitmap(frame, -1);
    if (!m_visible) {
        hide();
    }
}

void CIconWndButton::Check(int checked) {
    const int value = checked != 0 ? 1 : 0;
    if (value == m_checked) {
        return;
    }
    m_checked = value;
    // A disabled button keeps looking disabled; it shows the check once enabled.
    SelectFrame(StateFrame());
}

void CIconWndButton::SetEnable(int enabled) {
    const bool value = enabled != 0;
    if (value == m_enabled) {
        return;
    }
    m_enabled = value;
    if (!m_enabled) {
        EndPress();
    }
    SelectFrame(StateFrame());
}

void CIconWndButton::SetVisible(int visible) {
    const bool value = visible != 0;
    if (value == m_visible) {
        return;
    }
    m_visible = value;
    if (!m_visible && m_pressed) {
        // A hidden button sees no release; unended, its repeat would go on pressing unseen.
        EndPress();
        SelectFrame(StateFrame());
    }
    setVisible(value);
}

void CIconWndButton::MouseLock() {
    m_locked = true;
    if (m_pressed) {
        EndPress();
        SelectFrame(StateFrame());
    }
}

void CIconWndButton::OnLButtonDown(const QPoint& at) {
    if (!m_enabled || m_locked) {
        return;
    }
    SelectFrame(1);
    if (!m_pressed) {
        // A new press, not a repeat: it starts slow even when the timer of the last hold has
        // not ticked since its release.
        m_interval = kFirstInterval;
    }
    if (m_repeat) {
        if (m_repeatTimer != 0) {
            killTimer(m_repeatTimer);
        }
        m_repeatTimer = startTimer(std::max(m_interval, kShortestTimer));
    }
    CIconWnd::OnLButtonDown(at);
}

void CIconWndButton::OnLButtonUp(const QPoint& at) {
    if (!m_enabled || m_locked) {
        return;
    }
    if (m_pressed) {
        SelectFrame(m_checked);
    }
    CIconWnd::OnLButtonUp(at);
}

void CIconWndButton::OnLButtonDblClk(const QPoint& at) {
    OnLButtonDown(at);
}

void CIconWndButton::OnMouseLeave() {
    if (m_locked) {
        return;
    }
    CIconWnd::OnMouseLeave();
    if (m_enabled) {
        SelectFrame(m_checked);
    }
}

void CIconWndButton::StopRepeat() {
    if (m_repeatTimer != 0) {
        killTimer(m_repeatTimer);
        m_repeatTimer = 0;
    }
    m_interval = kFirstInterval;
}

void CIconWndButton::EndPress() {
    StopRepeat();
    m_pressed = false;
}

void CIconWndButton::PressAgain() {
    OnLButtonDown(QPoint());
}

void CIconWndButton::hideEvent(QHideEvent* event) {
    CIconWnd::hideEvent(event);
    if (IsPressed() || m_repeatTimer != 0) {
        EndPress();
        SelectFrame(StateFrame());
    }
}

void CIconWndButton::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_repeatTimer) {
        CIconWnd::timerEvent(event);
        return;
    }
    if (!m_pressed) {
        StopRepeat();
        return;
    }
    m_interval -= m_interval / 5;
    PressAgain();
    if (m_interval < 5 && m_jump != JUMP_NONE) {
        m_interval = std::max(0, m_interval - 1);
        PressAgain();
        if (m_interval == 0 && m_jump > JUMP_ONCE) {
            PressAgain();
        }
    }
}
