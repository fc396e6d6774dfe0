#include "CAudDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "CWinMsg.h"
#include "IconMessages.h"
#include "RecorderSkin.h"

#include <QFileInfo>
#include <QTimerEvent>

namespace {
constexpr unsigned int kFieldBack = 0x00B3E9F9; // RGB(249, 233, 179)
constexpr unsigned int kFieldText = 0x00586078; // RGB(120, 96, 88)
} // namespace

CAudDlg::CAudDlg() = default;

CAudDlg::~CAudDlg() {
    if (m_timer != 0) {
        killTimer(m_timer);
    }
}

void CAudDlg::Create(QWidget* parent) {
    Build(parent, recorderskin::Picture(&CTrade::GetBmpStAudBack), QPoint(12, 196),
          QPoint(262, 204));
    m_name = new CTextWnd;
    m_name->Create(QRect(66, 10, 250, 18), this);
    m_name->SetColor(kFieldBack);
    m_name->SetTextColor(kFieldText);
    m_name->NoNotify();

    m_animation = new CIconWnd;
    const CBmpMask tape = recorderskin::Mask(&CTrade::GetBmpAniAudio, this, WM_ICONCLICK);
    m_animation->Create(QRect(QPoint(40, 76), tape.GetAniRect(0).size()), this, tape);
    m_animation->NoNotify();

    m_level = new CAudLevel;
    m_level->Create(QPoint(218, 50), this);
    Refresh();
}

void CAudDlg::Refresh() {
    if (!CLast::HasManage()) {
        return;
    }
    CManage& manage = CLast::Manage();
    Strip()->SetTime(manage.GetAudTimeDisp());
    SaveButton()->SetEnable(manage.IsSaveAud());
    m_name->SetText(QFileInfo(manage.GetAudFileName()).fileName());
}

void CAudDlg::OnRunning(bool running) {
    if (running && m_timer == 0) {
        m_timer = startTimer(kAnimationInterval);
    } else if (!running && m_timer != 0) {
        killTimer(m_timer);
        m_timer = 0;
    }
}

void CAudDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer) {
        CStPanel::timerEvent(event);
        return;
    }
    m_animation->NextBitmap();
    CWinMsg::PostMessage(this, WM_DATACHANGE, 0, 0);
    CWinMsg::PostMessage(m_level, WM_DATACHANGE, 0, 0);
}

LRESULT CAudDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_AUDLEVEL) {
        CWinMsg::PostMessage(m_level, message, wParam, lParam);
        return 0;
    }
    return CStPanel::OnMessage(message, wParam, lParam);
}

CSoundFile* CAudDlg::RecordedTake() const {
    return CLast::Manage().GetAudFile();
}

CVeskError CAudDlg::Rec() {
    return CLast::Manage().AudRec();
}

CVeskError CAudDlg::Stop() {
    return CLast::Manage().AudStop();
}

CVeskError CAudDlg::Play() {
    return CLast::Manage().AudPlay();
}

CVeskError CAudDlg::First() {
    return CLast::Manage().AudFirst();
}

CVeskError CAudDlg::Rewind() {
    return CLast::Manage().AudRewind();
}

CVeskError CAudDlg::Forward() {
    return CLast::Manage().AudForward();
}

CVeskError CAudDlg::Save() {
    return CLast::Manage().AudSave();
}
