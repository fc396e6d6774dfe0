#pragma once

#include "CMessageReceiver.h"
#include "WinTypes.h"

#include <QCursor>
#include <QWidget>
#include <optional>

// A child window that follows the mouse: whether the left button was pressed inside it and is
// still held there, and when the mouse leaves it. The base of every icon window and control.
//
// A press starts inside the window's outline (its mask, when it has one); a press outside it
// is left to the window underneath, also where the platform cannot shape windows. Qt hands a
// window every move and the release of a press that started in it; a window that lets its
// press go when the mouse leaves (the default) treats leaving with the button held as the
// end of the press, and a release outside it as belonging to whatever lies there.
class CWndMouse : public CMessageReceiver<QWidget> {
public:
    CWndMouse();
    ~CWndMouse() override;

    // Makes this a visible child of parent at rect (in the parent's coordinates); returns
    // InitialWnd(). A null parent makes a top-level window.
    virtual int Create(const QRect& rect, QWidget* parent);

    // The cursor over the window. The number is a cursor resource of the program (its low 16
    // bits count), registered with RegisterCursor; false, and no change, for an unknown one.
    bool SetCur(unsigned int resource);
    void SetCur(const QCursor& cursor);
    static void RegisterCursor(unsigned int resource, const QCursor& cursor);

    // Makes the window transparent to the mouse: clicks reach the window underneath. For
    // captions and separators laid over clickable panels.
    void NoNotify();

    bool IsPressed() const { return m_pressed; }
    bool IsTrackingArmed() const { return m_tracking; }
    // True when p (in the window's coordinates) lies inside the window's outline.
    bool HitTest(const QPoint& p) const;

protected:
    // Called at the end of Create; non-zero for success.
    virtual int InitialWnd();

    // The window's mouse handlers, in client coordinates; the base keeps the pressed state
    // and the tracking, so overrides call it.
    virtual void OnMouseMove(const QPoint& at);
    virtual void OnLButtonDown(const QPoint& at);
    virtual void OnLButtonUp(const QPoint& at);
    virtual void OnLButtonDblClk(const QPoint& at);
    virtual void OnMouseLeave();
    // False for a window that keeps its press while the mouse is dragged outside (a slider).
    virtual bool LetsGoOutside() const { return true; }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    bool m_tracking = true;
    std::optional<QCursor> m_cursor;
    bool m_pressed = false;
};
