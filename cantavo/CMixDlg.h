#pragma once

#include "CStPanel.h"

// The mix panel of the recorder window: records the piano's sound while the MIDI take plays
// into it; the save button and the transport strip.
class CMixDlg : public CStPanel {
public:
    CMixDlg();
    ~CMixDlg() override;

    void Create(QWidget* parent);
    void Refresh() override;

protected:
    CSoundFile* RecordedTake() const override;
    CVeskError Rec() override;
    CVeskError Stop() override;
    CVeskError Play() override;
    CVeskError First() override;
    CVeskError Rewind() override;
    CVeskError Forward() override;
    CVeskError Save() override;
};
