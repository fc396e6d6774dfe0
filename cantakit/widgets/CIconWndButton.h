#pragma once

#include "CIconWnd.h"

// A push or toggle button drawn from three frames: 0 up, 1 pressed (and checked), 2 disabled.
//
// With auto-repeat on, holding the button presses it again and again, each time after a
// fifth less than the time before (800, 640, 512, ... 5, 4 ms); jump levels 1 and 2 go on
// below that with one and then two extra presses per tick, for spin controls that must cover
// a wide range quickly. A mouse-locked button shows what the program sets and ignores the
// mouse for good.
class CIconWndButton : public CIconWnd {
public:
    enum JUMP_LEVEL { JUMP_NONE = 0, JUMP_ONCE = 1, JUMP_TWICE = 2 };

    static constexpr int kFirstInterval = 800;
    // A repeat is never scheduled sooner than this many milliseconds after the last, however
    // short the interval has become: the extra presses of the jump levels make up the speed.
    static constexpr int kShortestTimer = 10;

    CIconWndButton();
    ~CIconWndButton() override;

    void Check(int checked);
    int Checkd() const { return m_checked; }
    void SetEnable(int enabled);
    int IsEnabled() const { return m_enabled ? 1 : 0; }
    void SetVisible(int visible);
    int IsVisibleButton() const { return m_visible ? 1 : 0; }
    void SetJump(JUMP_LEVEL level) { m_jump = level; }
    // Ends a press in progress: a locked button takes no release to end it.
    void MouseLock();
    bool IsMouseLocked() const { return m_locked; }
    void Repeat() { m_repeat = true; }

    // The interval the next repeat waits, and whether a repeat is scheduled.
    int RepeatInterval() const { return m_interval; }
    bool IsRepeating() const { return m_repeatTimer != 0; }
    // The running repeat timer (TIMER_REPEAT), 0 when none.
    int RepeatTimerId() const { return m_repeatTimer; }

    // The name a screen reader says and the hint shown over the button.
    void SetHint(const QString& name, const QString& tooltip);
    // Does what a click does: the press and release with their notifications. For the screen
    // reader's press action.
    void Click();

protected:
    void OnLButtonDown(const QPoint& at) override;
    void OnLButtonUp(const QPoint& at) override;
    void OnLButtonDblClk(const QPoint& at) override;
    void OnMouseLeave() override;
    void timerEvent(QTimerEvent* event) override;
    // Hidden while held, it lets go: no release will come, and a held repeat would go on.
    void hideEvent(QHideEvent* event) override;

private:
    // Selects a frame and keeps an invisible button invisible.
    void SelectFrame(int frame);
    int StateFrame() const { return m_enabled ? m_checked : 2; }
    void StopRepeat();
    // Ends a press that no release will end (the button disabled, hidden or locked).
    void EndPress();
    void PressAgain();

    bool m_enabled = true;
    bool m_visible = true;
    int m_checked = 0;
    bool m_locked = false;
    bool m_repeat = false;
    int m_interval = kFirstInterval;
    JUMP_LEVEL m_jump = JUMP_NONE;
    int m_repeatTimer = 0; // the running TIMER_REPEAT, 0 when none
};
