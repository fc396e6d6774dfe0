#pragma once

#include "CMessageReceiver.h"
#include "CProgress.h"

#include <QImage>
#include <QWidget>

// The level meter of the audio panel: the left and right level (0..20) as two lit bars on the
// skin's meter background, set from WM_AUDLEVEL (left in the high word of wParam, right in
// the low word).
class CAudLevel : public CMessageReceiver<QWidget> {
public:
    CAudLevel();
    ~CAudLevel() override;

    void Create(QPoint at, QWidget* parent);
    void SetLevels(unsigned int left, unsigned int right);
    CProgress* Left() const { return m_left; }
    CProgress* Right() const { return m_right; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_back;
    CProgress* m_left = nullptr;
    CProgress* m_right = nullptr;
};
