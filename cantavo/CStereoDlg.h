#pragma once

#include "CAudDlg.h"
#include "CIconWndButton.h"
#include "CMessageReceiver.h"
#include "CMixDlg.h"
#include "CSeqDlg.h"

#include <QDialog>

// "演奏の録音／再生", the recorder window: four tabs on its left choose the MIDI panel, the
// audio panel, the mix panel or open the album. A tab changes only while nothing records or
// plays; the window closes only when both takes are saved or discarded.
//
// It is the engine's "Stereo" window: the shared state and the transport manager post it
// WM_DATACHANGE, WM_AUDLEVEL and WM_STOPFROMMIDDLE, which it hands on to its panels.
class CStereoDlg : public CMessageReceiver<QDialog> {
public:
    static constexpr unsigned int WM_TAB_SEQ = 1093;
    static constexpr unsigned int WM_TAB_AUD = 1094;
    static constexpr unsigned int WM_TAB_MIX = 1095;
    static constexpr unsigned int WM_TAB_ALBUM = 1096;
    enum PANEL { PANEL_SEQ = 0, PANEL_AUD = 1, PANEL_MIX = 2 };
    static constexpr QPoint kPanelAt{70, 3};

    // Registers itself as the engine's recorder window when a manager is registered.
    explicit CStereoDlg(QWidget* parent = nullptr);
    ~CStereoDlg() override;

    PANEL CurrentPanel() const { return m_current; }
    CSeqDlg* SeqPanel() const { return m_seq; }
    CAudDlg* AudPanel() const { return m_aud; }
    CMixDlg* MixPanel() const { return m_mix; }
    CIconWndButton* Tab(unsigned int message) const;

    // Selects a panel as its tab does: only when both takes stand still. True when it is shown.
    bool SelectPanel(PANEL panel);
    // Closes as the window's close button does; true when it closed.
    bool TryClose();

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void ShowPanel(PANEL panel, bool place);
    void OnDataChange();
    void OnStopFromMiddle();
    void OnAlbum();
    // Opens the album; 0 nothing chosen, 1 a MIDI file, 2 an audio file.
    int RunAlbum();
    CStPanel* Panel(PANEL panel) const;
    void Forward(UINT message, WPARAM wParam, LPARAM lParam);

    CSeqDlg* m_seq = nullptr;
    CAudDlg* m_aud = nullptr;
    CMixDlg* m_mix = nullptr;
    CIconWndButton* m_tabSeq = nullptr;
    CIconWndButton* m_tabAud = nullptr;
    CIconWndButton* m_tabMix = nullptr;
    CIconWndButton* m_tabAlbum = nullptr;
    PANEL m_current = PANEL_SEQ;
    bool m_placed[3] = {false, false, false};
    bool m_closing = false;
};
