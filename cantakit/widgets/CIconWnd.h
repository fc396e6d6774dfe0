#pragma once

#include "BITMAP.h"
#include "CBmpMask.h"
#include "CMessageMap.h"
#include "CWndMouse.h"

#include <QImage>
#include <QPointer>
#include <vector>

// A window that shows one frame of its artwork, takes that frame's outline as its shape and
// tells its mask's parent about clicks with the mask's message (wParam: this window).
//
// Frames are selected with WM_DATACHANGE (see IconMessages.h) or ChangeBitmap. A frame change
// only selects the region and picture the mask prepared; Qt's backing store draws the new
// frame in one pass, so nothing flickers. Windows registered with SetChild hear of every
// change by WM_PARENTCHANGE.
class CIconWnd : public CWndMouse {
public:
    CIconWnd();
    ~CIconWnd() override;

    // Creates the window at rect in parent, keeps the artwork and shows frame 0; returns
    // OnInitialWnd(), or 0 when the window could not be made.
    virtual int Create(const QRect& rect, QWidget* parent, CBmpMask mask);
    using CWndMouse::Create;

    // Posts itself the next frame (after the last, frame 0), shown.
    void NextBitmap();
    // The picture shown now.
    QImage GetBitmap() const { return m_shown; }
    void SetChild(CIconWnd* child);
    // Draws the picture shown now with its top-left corner at `at`.
    BITMAP IconPaintDC(QPainter& dc, QPoint at) const;

    int CurrentFrame() const { return m_current; }
    const CBmpMask& Mask() const { return m_mask; }

protected:
    virtual int OnInitialWnd();

    // frame: the index in the low word and a show command in the high word, or -1 to keep the
    // frame; slide: x and y words of the bottom-centre point, or -1 to stay. False, and the
    // window hidden, for an index past the last frame.
    bool ChangeBitmap(int frame, int slide);
    // Moves the window, keeping its size, so that its bottom centre is at (x, y); its top
    // never goes above the parent's top.
    void SlideWindow(int x, int y);
    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);

    // Makes the outline of frame `index` of `mask` the window's shape.
    void ApplyRegion(const CBmpMask& mask, unsigned int index);
    // Shows `picture` from now on.
    void ShowPicture(const QImage& picture);

    void OnLButtonDown(const QPoint& at) override;
    void OnLButtonUp(const QPoint& at) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

    // Posts the mask's click message to the mask's parent.
    void NotifyParent();

    CBmpMask m_mask;
    int m_current = -2;
    std::vector<QPointer<CIconWnd>> m_children;

private:
    QImage m_shown;
};
