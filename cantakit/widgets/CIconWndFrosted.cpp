#include "CIconWndFrosted.h"

#include "CWinMsg.h"
#include "IconMessages.h"

CIconWndFrosted::CIconWndFrosted() = default;
CIconWndFrosted::~CIconWndFrosted() = default;

int CIconWndFrosted::OnInitialWnd() {
    const int result = CIconWnd::OnInitialWnd();
    OnFrostedChange(static_cast<WPARAM>(m_frame), 0);
    return result;
}

QImage CIconWndFrosted::PictureUnder() const {
    const auto* under = dynamic_cast<const CIconWnd*>(parentWidget());
    if (under == nullptr) {
        return QImage();
    }
    const QImage picture = under->GetBitmap();
    if (picture.isNull() || pos() == QPoint(0, 0)) {
        return picture;
    }
    const qreal ratio = picture.devicePixelRatio();
    QImage part = picture.copy(QRect(pos() * ratio, size() * ratio));
    part.setDevicePixelRatio(ratio);
    return part;
}

LRESULT CIconWndFrosted::OnFrostedChange(WPARAM wParam, LPARAM) {
    const int requested = static_cast<int>(wParam & 0xFFFFFFFFu);
    if (requested != -1) {
        if (requested < 0 || static_cast<unsigned int>(requested) >= m_mask.SizeAni()) {
            return 0;
        }
        m_frame = requested;
    }
    const auto frame = static_cast<unsigned int>(m_frame);
    const QImage back = PictureUnder();
    const QImage front = m_mask.GetAniBmp(frame);

    QImage shown;
    const auto found = std::find_if(m_cache.begin(), m_cache.end(), [&](const Blend& blend) {
        return blend.back == back.cacheKey() && blend.front == front.cacheKey();
    });
    if (found != m_cache.end()) {
        shown = found->blended;
        // Most recently used first.
        std::rotate(m_cache.begin(), found, found + 1);
    } else {
        if (front.isNull()) {
            shown = back;
        } else {
            shown = CBmpMask::FrostedBitmap(back, front);
            if (shown.isNull()) {
                // Nothing underneath to blend with: the frame as it is.
                shown = front;
            }
        }
        ++m_computed;
        m_cache.push_front({back.cacheKey(), front.cacheKey(), shown});
        if (m_cache.size() > kCacheSize) {
            m_cache.pop_back();
        }
    }

    // Frames with an outline of their own take it; the empty frame keeps the last outline, so
    // that a click where the panel was still brings it back.
    const bool hasRegion = !m_mask.GetAniRgn(frame).isEmpty();
    if (hasRegion) {
        ApplyRegion(m_mask, frame);
    }
    ShowPicture(shown);
    ShowChildren(hasRegion ? SW_SHOW : SW_HIDE);
    return 1;
}

void CIconWndFrosted::OnLButtonDown(const QPoint& at) {
    const unsigned int frames = m_mask.SizeAni();
    if (frames != 0) {
        m_frame = static_cast<int>((static_cast<unsigned int>(m_frame) + 1) % frames);
    }
    CWinMsg::PostMessage(this, WM_CHANGED, 0, 0);
    CIconWnd::OnLButtonDown(at);
}

LRESULT CIconWndFrosted::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CIconWndFrosted> map{
        {WM_FROSTEDSTYLE, &CIconWndFrosted::OnFrostedChange}};
    if (map.Handles(message)) {
        return map.Dispatch(this, message, wParam, lParam);
    }
    return CIconWnd::OnMessage(message, wParam, lParam);
}
