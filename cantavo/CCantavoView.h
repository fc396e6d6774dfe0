#pragma once

#include "CIconWnd.h"
#include "CMessageReceiver.h"
#include "WinTypes.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

class CDlgCtrl;
class CFrostedDlg;
class CIconWndSelfish;
class CSoundFile;

// The main window's client area: the concert hall (ReverbIcon) with the voice pictures, the
// stereo, the metronome character and the shortcut palette on it. Clicks on the pictures
// open the tool windows; a data change of the engine redraws the pictures.
class CCantavoView : public CMessageReceiver<QWidget> {
public:
    static constexpr int kWidth = 792;
    static constexpr int kHeight = 526;

    // Clicks of the pictures, posted to the view.
    static constexpr UINT WM_TIMBRECLICK = 0x424;
    static constexpr UINT WM_DUALCLICK = 0x425;
    static constexpr UINT WM_REVERBCLICK = 0x426;
    static constexpr UINT WM_METRONOMECLICK = 0x427;
    static constexpr UINT WM_STEREOCLICK = 0x428;

    // The program's cursors: a hand over what can be clicked, the arrow over the hall.
    static constexpr unsigned int IDC_HAND = 186;
    static constexpr unsigned int IDC_PALETTE = 188;
    static constexpr unsigned int IDC_HALL = 189;

    explicit CCantavoView(QWidget* parent = nullptr);
    ~CCantavoView() override;

    // The start of the program once the window exists: the engine's message window, the
    // pictures, the tool windows, the takes, then the engine is started and everyone is told
    // the whole state.
    void OnInitialUpdate();
    // The palette's look of the last orderly exit.
    void RestorePaletteLook();
    void CreateIcon();
    void CreateDialog();
    void CreateSoundFile();

    CIconWnd* ReverbIcon() const { return m_reverbIcon; }
    CIconWnd* DualIcon() const { return m_dualIcon; }
    CIconWnd* StereoIcon() const { return m_stereoIcon; }
    CIconWndSelfish* MetronomeIcon() const;
    CIconWnd* TimbreIcon() const { return m_timbreIcon; }
    CIconWnd* Frosted() const { return m_frosted; }

    // Where a picture sits, in the view: its left edge and bottom edge.
    static QRect Placement(QPoint leftBottom, QSize size);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnDataChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowConpane(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowReverb(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowMetronome(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowStereo(WPARAM wParam, LPARAM lParam);

private:
    static void RegisterCursors();
    // The palette over the hall.
    static CFrostedDlg* MakeFrosted();
    // The record of one take.
    static std::unique_ptr<CSoundFile> MakeTake(const QString& extension, const QString& kind);
    // The start-up picture, shown while the engine starts.
    static std::unique_ptr<QWidget> MakeStartupPicture();
    // Keeps a tool window hidden with the view as its parent, and registers it.
    void AddToolWindow(QWidget* window, void (CDlgCtrl::*registration)(QObject*));
    static void ShowTool(QObject* registered);
    void ReleaseTakes();

    QPointer<CIconWnd> m_reverbIcon;
    QPointer<CIconWnd> m_dualIcon;
    QPointer<CIconWnd> m_stereoIcon;
    QPointer<CIconWnd> m_metronomeIcon;
    QPointer<CIconWnd> m_timbreIcon;
    QPointer<CIconWnd> m_frosted;
    std::vector<QPointer<QWidget>> m_tools;
    std::vector<void (CDlgCtrl::*)(QObject*)> m_toolRegistrations;
    std::unique_ptr<CSoundFile> m_midiTake;
    std::unique_ptr<CSoundFile> m_audioTake;
    bool m_engineParent = false;
};
