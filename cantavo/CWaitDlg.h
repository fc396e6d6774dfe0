#pragma once

#include "CMessageReceiver.h"

#include <QDialog>
#include <QRect>

// Messages the waiting window takes.
constexpr UINT WM_WAITMESSAGE = WM_USER + 16; // 1040: wParam is a const QString*, shown in a box
constexpr UINT WM_WAITSTOP = WM_USER + 17;    // 1041: StopAnimation(wParam != 0)

// A small window over its parent while something long runs: a bar of 20 cells of which one
// more lights at every tick, starting again after the last. It cannot be closed by the user;
// whoever showed it destroys it.
class CWaitDlg : public CMessageReceiver<QDialog> {
public:
    static constexpr int kCells = 20;
    static constexpr int kClientWidth = 140;
    static constexpr int kClientHeight = 50;
    static constexpr int kTimerId = 0; // the animation timer's name; Qt picks the real id

    explicit CWaitDlg(QWidget* parent = nullptr);
    ~CWaitDlg() override;

    // Position 0, painted, then one step every `interval` milliseconds.
    void StartAnimation(int interval);
    // Stops the steps; `full` lights every cell.
    void StopAnimation(bool full);
    // Client area 140 x 50, centred over the parent, or over the screen without one.
    void ResizeDlg();

    // Ends the window: at once, or, while a message it was sent is open, hidden now and
    // destroyed when that message is answered. Nothing may use the window afterwards.
    void Dismiss();

    // The last lit cell (0..19), or 20 when the bar is full.
    int Position() const { return m_position; }
    bool IsRunning() const { return m_timer != 0; }
    int Interval() const { return m_interval; }
    // One tick of the animation, as the timer gives it.
    void Step();
    // The cells of the bar, in client coordinates.
    static QRect CellRect(int cell);
    static QColor LitColour();
    static QColor UnlitColour();

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    LRESULT OnWaitMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnWaitStop(WPARAM wParam, LPARAM lParam);
    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);

    int m_position = 0;
    int m_interval = 0;
    int m_timer = 0;
    int m_openBoxes = 0;
    bool m_dismissed = false;
};
