#pragma once

#include "CWndMouse.h"

// An invisible input strip over a slider that its parent draws: mouse positions become a
// stepped value between the range's bounds. It tells its parent WM_CHANGED on press, release
// and leave, and the parent paints the knob from GetPos().
//
// While the button is held the slider keeps following the mouse, also beyond its ends, where
// the value stays at the nearest bound. Hidden in the middle of a drag, it ends the drag
// where the knob stands: no release will come, and a later hover must not go on dragging.
class CSlider : public CWndMouse {
public:
    CSlider();
    ~CSlider() override;

    // Only when low < high; the position becomes low.
    void SetRange(int low, int high);
    // Ignored outside the range.
    void SetPos(int position);
    int GetPos() const { return static_cast<int>(m_position - m_offset); }

    // The value a mouse at x (client coordinates) selects.
    int PosAt(int x) const;

protected:
    void OnMouseMove(const QPoint& at) override;
    void OnLButtonDown(const QPoint& at) override;
    void OnLButtonUp(const QPoint& at) override;
    void OnMouseLeave() override;
    bool LetsGoOutside() const override { return false; }
    void hideEvent(QHideEvent* event) override;

private:
    void PostToParent();
    void Follow(const QPoint& at);

    // Wider than int: the span of the widest range and an offset position both overflow it.
    long long m_offset = 0;
    long long m_position = 2;
    long long m_lowest = 0;
    long long m_highest = 4;
};
