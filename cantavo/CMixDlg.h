#pragma once

#include "CStPanel.h"
#include "CTextWnd.h"

// The mix panel of the recorder window: records the piano's sound while the MIDI take plays
// into it; the name of the audio take it records, the save button and the transport strip.
class CMixDlg : public CStPanel {
public:
    CMixDlg();
    ~CMixDlg() override;

    void Create(QWidget* parent);
    void Refresh() override;
    CTextWnd* FileNameWnd() const { return m_name; }

protected:
    CSoundFile* RecordedTake() const override;
    CVeskError Rec() override;
    CVeskError Stop() override;
    CVeskError Play() override;
    CVeskError First() override;
    CVeskError Rewind() override;
    CVeskError Forward() override;
    CVeskError Save() override;

private:
    CTextWnd* m_name = nullptr;
};
