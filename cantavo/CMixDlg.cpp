#include "CMixDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "RecorderSkin.h"

#include <QFileInfo>

CMixDlg::CMixDlg() = default;

CMixDlg::~CMixDlg() = default;

void CMixDlg::Create(QWidget* parent) {
    Build(parent, recorderskin::Picture(&CTrade::GetBmpStMixBack), QPoint(12, 248),
          QPoint(262, 256));
    m_name = new CTextWnd;
    m_name->Create(QRect(66, 10, 250, 18), this);
    m_name->SetColor(0x00B3E9F9);     // RGB(249, 233, 179)
    m_name->SetTextColor(0x00586078); // RGB(120, 96, 88)
    m_name->NoNotify();
    Refresh();
}

void CMixDlg::Refresh() {
    if (!CLast::HasManage()) {
        return;
    }
    CManage& manage = CLast::Manage();
    Strip()->SetTime(manage.GetAudTimeDisp());
    SaveButton()->SetEnable(manage.IsSaveAud());
    m_name->SetText(QFileInfo(manage.GetAudFileName()).fileName());
}

CSoundFile* CMixDlg::RecordedTake() const {
    return CLast::Manage().GetAudFile();
}

CVeskError CMixDlg::Rec() {
    return CLast::Manage().MixRec();
}

CVeskError CMixDlg::Stop() {
    return CLast::Manage().MixStop();
}

CVeskError CMixDlg::Play() {
    return CLast::Manage().MixPlay();
}

CVeskError CMixDlg::First() {
    return CLast::Manage().MixFirst();
}

CVeskError CMixDlg::Rewind() {
    return CLast::Manage().MixRewind();
}

CVeskError CMixDlg::Forward() {
    return CLast::Manage().MixForward();
}

CVeskError CMixDlg::Save() {
    return CLast::Manage().MixSave();
}
