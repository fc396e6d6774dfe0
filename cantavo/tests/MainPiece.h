#pragma once

#include "CConpaneDlg.h"
#include "CFrostedDlg.h"
#include "CIconWndSelfish.h"
#include "CKeyboardDlg.h"
#include "CMessageReceiver.h"
#include "CMetronomeDlg.h"
#include "CReverbDlg.h"
#include "CTrade.h"

#include <QImage>
#include <functional>
#include <memory>
#include <vector>

class CManage;

// The part of the main window that the palette and the metronome and reverb windows live in,
// made as the program makes it: the view, the piano picture over it, the metronome character
// on the picture, the palette over the picture, and the two tool windows. The view is not
// shown: tests that look at the screen show it (so the threaded tests run no painting, whose
// image slices Qt hands to threads that ThreadSanitizer cannot see into). The view does what
// the program's view does on a data change (the character follows the chosen character and
// its pose, the palette hears of it). The sound settings panel and the keyboard display are
// the program's own.
class CPieceView : public CMessageReceiver<QWidget> {
public:
    explicit CPieceView(CManage& manage) : m_manage(manage) {}
    CIconWndSelfish* character = nullptr;
    CFrostedDlg* frosted = nullptr;
    int clicks = 0; // clicks on the piano picture, the character and the palette

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CManage& m_manage;
};

// The character window, remembering each pose it was moved to and the picture it then showed.
class CLoggedCharacter : public CIconWndSelfish {
public:
    struct Shown {
        int frame;
        qint64 picture;
    };
    std::vector<Shown> shown;
    // Called with each frame of an idle show.
    std::function<void(unsigned int)> onShowFrame;
    unsigned int showFrames = 0;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CMainPiece {
public:
    explicit CMainPiece(CManage& manage);
    ~CMainPiece();
    CMainPiece(const CMainPiece&) = delete;
    CMainPiece& operator=(const CMainPiece&) = delete;

    // A point of the palette's own outline that no control covers, in the palette's
    // coordinates.
    QPoint Background() const;
    // The whole main window as it shows now.
    QImage Grab();

    CManage& manage;
    CTrade trade;
    CPieceView view;
    CIconWnd reverbIcon;
    CLoggedCharacter character;
    CFrostedDlg frosted;
    std::unique_ptr<CConpaneDlg> conpane;
    CKeyboardDlg* keyboard = nullptr; // a child of the palette
    std::unique_ptr<CMetronomeDlg> metronome;
    std::unique_ptr<CReverbDlg> reverb;
};
