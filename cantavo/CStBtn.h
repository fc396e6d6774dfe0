#pragma once

#include "CIconWndButton.h"
#include "CTextWnd.h"

#include <QImage>
#include <QWidget>

// The transport strip of a recorder panel: the time of the take across the top and the six
// transport buttons, which post their numbers to the panel. The strip shows the state the
// panel gives it: recording (record and play held down, the moving buttons disabled), playing
// (play held down, record disabled) or stopped.
class CStBtn : public QWidget {
public:
    static constexpr unsigned int WM_ST_REC = 1097;
    static constexpr unsigned int WM_ST_STOP = 1098;
    static constexpr unsigned int WM_ST_PLAY = 1099;
    static constexpr unsigned int WM_ST_FIRST = 1100;
    static constexpr unsigned int WM_ST_REWIND = 1101;
    static constexpr unsigned int WM_ST_FORWARD = 1102;

    CStBtn();
    ~CStBtn() override;

    // Makes the strip a child of panel with its top-left corner at `at`; the buttons post to
    // panel.
    void Create(QPoint at, QWidget* panel);

    void SetTime(const QString& text);
    QString Time() const;
    void ShowRecording();
    void ShowPlaying();
    void ShowStopped();
    // Whether the strip shows a recording or a playback.
    bool IsRunning() const;

    // The button that posts `message` (one of the six numbers above), or null.
    CIconWndButton* Button(unsigned int message) const;
    CTextWnd* TimeWnd() const { return m_time; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_back;
    CTextWnd* m_time = nullptr;
    CIconWndButton* m_rec = nullptr;
    CIconWndButton* m_stop = nullptr;
    CIconWndButton* m_play = nullptr;
    CIconWndButton* m_first = nullptr;
    CIconWndButton* m_rewind = nullptr;
    CIconWndButton* m_forward = nullptr;
};
