#pragma once

#include "CIconWnd.h"

#include <QImage>
#include <deque>

// A translucent overlay: each of its frames is shown blended 70/30 over the picture of the
// icon window underneath (its parent), and a frame without a bitmap shows that picture
// unchanged. A click advances the frame and tells the window itself WM_CHANGED; the
// application's subclass decides what that means and which of its own controls go with each
// frame (ShowChildren).
//
// Blends are kept for pairs of pictures already seen, the most recently used first, up to
// kCacheSize of them; a picture that changes is a new picture.
class CIconWndFrosted : public CIconWnd {
public:
    static constexpr std::size_t kCacheSize = 16;

    CIconWndFrosted();
    ~CIconWndFrosted() override;

    int FrostedFrame() const { return m_frame; }
    std::size_t CachedBlends() const { return m_cache.size(); }
    // How many blends were computed (not found in the cache) so far.
    std::size_t BlendsComputed() const { return m_computed; }

protected:
    // Shows (SW_SHOW) or hides (SW_HIDE) the subclass's own controls.
    virtual void ShowChildren(int command) = 0;

    int OnInitialWnd() override;
    LRESULT OnFrostedChange(WPARAM wParam, LPARAM lParam);
    void OnLButtonDown(const QPoint& at) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Blend {
        qint64 back;
        qint64 front;
        QImage blended;
    };
    // The part of the parent's picture that lies under this window.
    QImage PictureUnder() const;

    int m_frame = 0;
    std::deque<Blend> m_cache;
    std::size_t m_computed = 0;
};
