#pragma once

#include "CWndMouse.h"

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>

// A multi-line text box in the program's icon-title font: labels, and pop-up hints when made
// with CreateEx. Lines are separated by "\r\n"; a line too wide for the box is cut at its end.
class CTextWnd : public CWndMouse {
public:
    CTextWnd();
    ~CTextWnd() override;

    // A pop-up window at rect in screen coordinates, owned by parent.
    int CreateEx(const QRect& rect, QWidget* parent);

    void SetText(const QString& text);
    // Windows colour values, 0x00BBGGRR.
    void SetColor(unsigned int colour);
    void SetTextColor(unsigned int colour);
    void Center() { m_align = kCentre; }
    void Right() { m_align = kRight; }
    // Hides and shows the window again.
    void ReDraw();
    // The width and height of the text block as last drawn.
    QSize GetSize() const { return m_measured; }
    bool IsEmpty() const { return m_lines.isEmpty(); }

    const QStringList& Lines() const { return m_lines; }
    const QFont& Font() const { return m_font; }
    // Pixels from one line to the next.
    int LineDistance() const { return 3 - m_lineStep; }
    // Where each line was drawn and what of it, from the last paint.
    struct DrawnLine {
        QPoint at;
        QString text;
    };
    const std::vector<DrawnLine>& Drawn() const { return m_drawn; }

    static QColor FromColorRef(unsigned int colour);

protected:
    int InitialWnd() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum Align { kLeft = 0, kCentre = 1, kRight = 2 };

    void UseFont(const QFont& font);

    QFont m_font;
    int m_lineStep = -12;
    QColor m_background{255, 255, 255};
    QColor m_text{0, 0, 0};
    QStringList m_lines;
    bool m_popup = false;
    Align m_align = kLeft;
    QSize m_measured;
    std::vector<DrawnLine> m_drawn;
};
