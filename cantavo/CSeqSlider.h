#pragma once

#include "CSlider.h"

#include <QImage>

// A slider of the MIDI panel that draws its own track: a pale gold strip with a line just
// above its middle, bars at both ends, a tick at each inner step, and the skin's spin point as
// the thumb at the position.
class CSeqSlider : public CSlider {
public:
    static inline const QColor kTrack{231, 206, 123};
    static inline const QColor kLine{194, 151, 85};
    static constexpr int kThumbWidth = 10;
    // Closer ticks than this would paint a solid bar: a wide range shows only its ends.
    static constexpr int kNarrowestStep = 4;

    CSeqSlider();
    ~CSeqSlider() override;

    void SetRange(int low, int high);
    void SetPos(int position);
    // Where the thumb is drawn, in the slider's coordinates.
    QRect ThumbRect() const;
    // The player moved the thumb and the panel has not taken the value yet (or still holds
    // it): a refresh from the shared state must not move it back meanwhile.
    bool IsUserMoving() const { return m_userMoved || IsPressed(); }
    void TakeUserMove() { m_userMoved = false; }

protected:
    void OnMouseMove(const QPoint& at) override;
    void OnLButtonDown(const QPoint& at) override;
    void OnLButtonUp(const QPoint& at) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_thumb;
    int m_low = 0;
    int m_high = 4;
    bool m_userMoved = false;
};
