#pragma once

#include "CIconWnd.h"
#include "CSeqSlider.h"
#include "CStPanel.h"
#include "CTextWnd.h"

// The MIDI panel of the recorder window: the take's file name, the staff where the notes
// dance, tempo, beat and key, the memo and save buttons and the transport strip.
class CDanceNoteDlg;

class CSeqDlg : public CStPanel {
public:
    static constexpr unsigned int WM_MEMO = 1091;

    CSeqDlg();
    ~CSeqDlg() override;

    void Create(QWidget* parent);
    void Refresh() override;

    CSeqSlider* TempoSlider() const { return m_tempo; }
    CSeqSlider* BeatSlider() const { return m_beat; }
    CSeqSlider* KeySlider() const { return m_key; }
    CIconWndButton* MemoButton() const { return m_memo; }
    CTextWnd* FileNameWnd() const { return m_name; }
    CDanceNoteDlg* Staff() const { return m_staff; }

    static QString BeatLabel(int position);
    static QString KeyLabel(int position);

protected:
    CSoundFile* RecordedTake() const override;
    CVeskError Rec() override;
    CVeskError Stop() override;
    CVeskError Play() override;
    CVeskError First() override;
    CVeskError Rewind() override;
    CVeskError Forward() override;
    CVeskError Save() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnSliderChanged();
    void OnMemo();
    void ShowValues();

    CTextWnd* m_name = nullptr;
    CDanceNoteDlg* m_staff = nullptr;
    CSeqSlider* m_tempo = nullptr;
    CSeqSlider* m_beat = nullptr;
    CSeqSlider* m_key = nullptr;
    CTextWnd* m_tempoText = nullptr;
    CTextWnd* m_beatText = nullptr;
    CTextWnd* m_keyText = nullptr;
    CIconWndButton* m_memo = nullptr;
};
