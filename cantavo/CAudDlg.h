#pragma once

#include "CAudLevel.h"
#include "CIconWnd.h"
#include "CStPanel.h"
#include "CTextWnd.h"

// The audio panel of the recorder window: the take's file name, an animation that moves while
// the take records or plays, the level meter, the save button and the transport strip.
class CAudDlg : public CStPanel {
public:
    // Steps the animation and refreshes the panel and the meter while a take runs.
    static constexpr int TIMER_AUDANIMATION = 1044;
    static constexpr int kAnimationInterval = 300;

    CAudDlg();
    ~CAudDlg() override;

    void Create(QWidget* parent);
    void Refresh() override;

    CAudLevel* Level() const { return m_level; }
    CIconWnd* Animation() const { return m_animation; }
    CTextWnd* FileNameWnd() const { return m_name; }
    bool IsAnimating() const { return m_timer != 0; }

protected:
    CSoundFile* RecordedTake() const override;
    CVeskError Rec() override;
    CVeskError Stop() override;
    CVeskError Play() override;
    CVeskError First() override;
    CVeskError Rewind() override;
    CVeskError Forward() override;
    CVeskError Save() override;
    void OnRunning(bool running) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CTextWnd* m_name = nullptr;
    CIconWnd* m_animation = nullptr;
    CAudLevel* m_level = nullptr;
    int m_timer = 0;
};
