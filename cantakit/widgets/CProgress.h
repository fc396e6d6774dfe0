#pragma once

#include "CWndMouse.h"

#include <QColor>

// A vertical segmented level meter: one segment per step of the range, lit from the bottom up
// to the position.
class CProgress : public CWndMouse {
public:
    static inline const QColor kBorder{194, 151, 85};
    static inline const QColor kUnlit{223, 174, 98};
    static inline const QColor kLit{246, 254, 10};

    CProgress();
    ~CProgress() override;

    // Only when low < high.
    void SetRange(unsigned int low, unsigned int high);
    // Ignored outside the range.
    void SetPos(unsigned int position);
    unsigned int GetPos() const { return m_position; }

    // The segments' rectangles from the top, for the present size and range.
    std::vector<QRect> Segments() const;
    // How many segments, from the bottom, are lit.
    int LitSegments() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    unsigned int m_low = 0;
    unsigned int m_high = 100;
    unsigned int m_position = 0;
};
