#include "CIconWnd.h"

#include "CWinMsg.h"
#include "IconMessages.h"

#include <QPainter>

CIconWnd::CIconWnd() = default;

CIconWnd::~CIconWnd() {
    m_mask.Release();
}

int CIconWnd::Create(const QRect& rect, QWidget* parent, CBmpMask mask) {
    if (CWndMouse::Create(rect, parent) == 0) {
        return 0;
    }
    m_mask = mask;
    ChangeBitmap(0, -1);
    return OnInitialWnd();
}

int CIconWnd::OnInitialWnd() {
    return 1;
}

void CIconWnd::NextBitmap() {
    const unsigned int frames = m_mask.SizeAni();
    int next = m_current + 1;
    if (next < 0 || static_cast<unsigned int>(next) >= frames) {
        next = 0;
    }
    CWinMsg::PostMessage(this, WM_DATACHANGE, static_cast<WPARAM>(MakeLong(next, SW_SHOW)),
                         kKeepPlaceParam);
}

void CIconWnd::SetChild(CIconWnd* child) {
    m_children.emplace_back(child);
}

BITMAP CIconWnd::IconPaintDC(QPainter& dc, QPoint at) const {
    return CBmpMask::PaintBitmap(dc, m_shown, at);
}

void CIconWnd::ApplyRegion(const CBmpMask& mask, unsigned int index) {
    if (mask.GetRgnFlag() != CBmpMask::RGN_SHAPED) {
        clearMask();
        return;
    }
    const QRegion region = mask.GetAniRgn(index);
    if (region.isEmpty()) {
        // A frame with no opaque pixel has no outline: nothing of the window shows or takes
        // clicks. (An empty QRegion would lift the mask and show the whole rectangle.)
        setMask(QRegion(-1, -1, 1, 1));
        return;
    }
    setMask(region);
}

void CIconWnd::ShowPicture(const QImage& picture) {
    m_shown = picture;
    update();
}

bool CIconWnd::ChangeBitmap(int frame, int slide) {
    const int index = frame == -1 ? -1 : (frame & 0xFFFF);
    if (index >= 0 && static_cast<unsigned int>(index) >= m_mask.SizeAni()) {
        hide();
        return false;
    }
    // The show command of the high word only matters for the moment of the change: the
    // window is shown at the end in every case, so it is not hidden in between (which would
    // count as the mouse leaving it).
    if (index >= 0 && index != m_current) {
        m_current = index;
        const auto i = static_cast<unsigned int>(index);
        ApplyRegion(m_mask, i);
        m_shown = m_mask.GetAniBmp(i);
        const QRect frameRect = m_mask.GetAniRect(i);
        resize(frameRect.size());
    }
    if (slide != -1) {
        SlideWindow(slide & 0xFFFF, (slide >> 16) & 0xFFFF);
    }
    show();
    for (const QPointer<CIconWnd>& child : m_children) {
        if (child) {
            CWinMsg::PostMessage(child, WM_PARENTCHANGE, 0, 0);
        }
    }
    update();
    return true;
}

void CIconWnd::SlideWindow(int x, int y) {
    const int w = width();
    const int h = height();
    move(x - w / 2, y < h ? 0 : y - h);
}

LRESULT CIconWnd::OnDataChange(WPARAM wParam, LPARAM lParam) {
    // Both parameters carry -1 as "keep"; the words are 16 bits each.
    const int frame = wParam == kKeepFrameParam ? -1 : static_cast<int>(wParam & 0xFFFFFFFFu);
    const int slide = lParam == kKeepPlaceParam ? -1 : static_cast<int>(lParam & 0xFFFFFFFF);
    return ChangeBitmap(frame, slide) ? 1 : 0;
}

void CIconWnd::NotifyParent() {
    if (QObject* parent = m_mask.GetParent()) {
        CWinMsg::PostMessage(parent, m_mask.GetMsg(), reinterpret_cast<WPARAM>(this), 0);
    }
}

void CIconWnd::OnLButtonDown(const QPoint& at) {
    CWndMouse::OnLButtonDown(at);
    if (m_mask.GetEventFlag() == CBmpMask::EVENT_DOWN) {
        NotifyParent();
    }
}

void CIconWnd::OnLButtonUp(const QPoint& at) {
    // Only a press that started here and has not left the window since is a click.
    const bool pressed = m_pressed;
    CWndMouse::OnLButtonUp(at);
    if (pressed && m_mask.GetEventFlag() == CBmpMask::EVENT_UP) {
        NotifyParent();
    }
}

LRESULT CIconWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CIconWnd> map{{WM_DATACHANGE, &CIconWnd::OnDataChange}};
    if (map.Handles(message)) {
        return map.Dispatch(this, message, wParam, lParam);
    }
    return CWndMouse::OnMessage(message, wParam, lParam);
}

void CIconWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    IconPaintDC(painter, QPoint(0, 0));
}
