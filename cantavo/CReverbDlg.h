#pragma once

#include "CIconWndButton.h"
#include "CMessageReceiver.h"

#include <QWidget>

// The reverb window ("リバーブ"): an Off and an On button that set the piano's reverb in the
// shared state and close the window. It opens beside the mouse pointer, kept on the screen,
// and shows what the shared state holds, so a change made on the piano appears here too.
class CReverbDlg : public CMessageReceiver<QWidget> {
public:
    static constexpr UINT WM_SCREVERB = 1073; // toggle, from the shortcut palette
    static constexpr UINT WM_SCON = 1084;
    static constexpr UINT WM_SCOFF = 1085;
    static constexpr QSize kClientSize{110, 80};
    // The window's top-left corner stands this far left of and above the pointer.
    static constexpr int kPointerOffset = 58;

    explicit CReverbDlg(QWidget* parent = nullptr);
    ~CReverbDlg() override;

    // Where a window of size `window` goes for the pointer at `cursor`: kPointerOffset up and
    // left of it, not above or left of 0, and moved left or up to lie inside `desktop`.
    static QPoint Placement(QPoint cursor, QSize window, const QRect& desktop);

    CIconWndButton& OnButton() { return m_on; }
    CIconWndButton& OffButton() { return m_off; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnScOn(WPARAM wParam, LPARAM lParam);
    LRESULT OnScOff(WPARAM wParam, LPARAM lParam);
    LRESULT OnScReverb(WPARAM wParam, LPARAM lParam);

    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceAtPointer();

    CIconWndButton m_off;
    CIconWndButton m_on;
};
