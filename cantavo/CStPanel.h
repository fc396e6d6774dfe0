#pragma once

#include "CIconWndButton.h"
#include "CMessageReceiver.h"
#include "CStBtn.h"
#include "CVeskError.h"

#include <QImage>
#include <QWidget>

class CSoundFile;

// What the three panels of the recorder window share: the skin background, the transport
// strip and the save button, and the handling of their buttons. A button only asks the
// transport manager to act; the strip shows the new state when the manager accepted, and
// everything else is read back from the shared state on WM_DATACHANGE.
class CStPanel : public CMessageReceiver<QWidget> {
public:
    static constexpr unsigned int WM_SAVE = 1088;

    CStPanel();
    ~CStPanel() override;

    CStBtn* Strip() const { return m_strip; }
    CIconWndButton* SaveButton() const { return m_save; }

    // Re-reads the shared state (WM_DATACHANGE).
    virtual void Refresh() = 0;
    // The stop button, also for a take the engine stopped itself (WM_STOPFROMMIDDLE).
    virtual void OnStop();

protected:
    // Lays out the background, the strip at stripAt and the save button at saveAt; the
    // background's size is the panel's size.
    void Build(QWidget* parent, const QImage& back, QPoint stripAt, QPoint saveAt);

    // The take that a new recording of this panel replaces.
    virtual CSoundFile* RecordedTake() const = 0;
    virtual CVeskError Rec() = 0;
    virtual CVeskError Stop() = 0;
    virtual CVeskError Play() = 0;
    virtual CVeskError First() = 0;
    virtual CVeskError Rewind() = 0;
    virtual CVeskError Forward() = 0;
    virtual CVeskError Save() = 0;
    // After the strip changed: a recording or playback started (true) or ended (false).
    virtual void OnRunning(bool) {}

    virtual void OnRec();
    virtual void OnPlay();

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_back;
    CStBtn* m_strip = nullptr;
    CIconWndButton* m_save = nullptr;
};
