#pragma once

#include "CIconWndButton.h"
#include "CMessageReceiver.h"
#include "CTextWnd.h"

#include <QStringList>

// A spin list of the metronome window: a value in a range shown as a number or as the text of
// its item, stepped by two small arrow buttons that repeat while held (and by the Up, Down,
// Page Up and Page Down keys). Every step that changes the value posts WM_CHANGED to the
// window that holds it; setting the value from outside posts nothing.
class CMetroSpin : public CMessageReceiver<QWidget> {
public:
    static constexpr UINT WM_SPINUP = WM_USER + 200;
    static constexpr UINT WM_SPINDOWN = WM_USER + 201;
    static constexpr int kHeight = 20;
    static constexpr int kArrowWidth = 11;

    CMetroSpin();
    ~CMetroSpin() override;

    // Makes the control at `at` in parent with a text box textWidth wide; its arrows take the
    // skin's spin pictures.
    int Create(QPoint at, int textWidth, QWidget* parent);
    void SetRange(int low, int high);
    // Texts for the values low, low + 1, ...; without them the value shows as a number.
    void SetItems(const QStringList& items);
    // Arrows that repeat faster and faster while held (the button's jump level).
    void SetJump(CIconWndButton::JUMP_LEVEL level);
    // Shows value when it lies in the range; tells nobody.
    void SetPos(int value);
    int GetPos() const { return m_value; }
    QString Text() const;

    // One step, as a press of an arrow does.
    void StepUp() { Step(1); }
    void StepDown() { Step(-1); }
    CIconWndButton& UpButton() { return m_up; }
    CIconWndButton& DownButton() { return m_down; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Step(int delta);
    void ShowValue();

    CTextWnd m_text;
    CIconWndButton m_up;
    CIconWndButton m_down;
    int m_low = 0;
    int m_high = 0;
    int m_value = 0;
    QStringList m_items;
};
