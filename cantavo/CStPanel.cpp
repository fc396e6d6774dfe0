#include "CStPanel.h"

#include "CDataInfo.h"
#include "CLast.h"
#include "CManage.h"
#include "CSoundFile.h"
#include "CWinMsg.h"
#include "IconMessages.h"
#include "RecorderSkin.h"

#include <QPainter>

CStPanel::CStPanel() = default;

CStPanel::~CStPanel() = default;

void CStPanel::Build(QWidget* parent, const QImage& back, QPoint stripAt, QPoint saveAt) {
    setParent(parent);
    m_back = back;
    resize(back.isNull() ? QSize(330, 260) : back.size() / back.devicePixelRatio());
    m_strip = new CStBtn;
    m_strip->Create(stripAt, this);
    m_save = new CIconWndButton;
    const CBmpMask mask = recorderskin::Mask(&CTrade::GetBmpBtnSave, this, WM_SAVE);
    m_save->Create(QRect(saveAt, mask.GetAniRect(0).size()), this, mask);
    m_save->SetHint(QStringLiteral("保存"), QStringLiteral("録音をアルバムに保存"));
}

void CStPanel::OnRec() {
    // A take that nobody saved yet is offered for saving before a new recording replaces it:
    // the player may keep it under a name, discard it, or back out and record nothing.
    if (CLast::Manage().IsNotRunning()) {
        CSoundFile* take = RecordedTake();
        if (take != nullptr && take->GetFileFlag() == MODIFIED_DIRTY &&
            take->SaveFileDefine(0) == 0) {
            if (QObject* stereo = CLast::Manage().GetStereo()) {
                CWinMsg::PostMessage(stereo, WM_DATACHANGE, 0, 0);
            }
            return;
        }
    }
    if (Rec() == ERR_VESK_OK && !CLast::Manage().IsNotRunning()) {
        m_strip->ShowRecording();
        OnRunning(true);
    }
}

void CStPanel::OnPlay() {
    if (Play() == ERR_VESK_OK && !CLast::Manage().IsNotRunning()) {
        m_strip->ShowPlaying();
        OnRunning(true);
    }
}

void CStPanel::OnStop() {
    OnRunning(false);
    if (Stop() == ERR_VESK_OK) {
        m_strip->ShowStopped();
    }
}

LRESULT CStPanel::OnMessage(UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_DATACHANGE:
        Refresh();
        break;
    case CStBtn::WM_ST_REC:
        OnRec();
        break;
    case CStBtn::WM_ST_STOP:
        OnStop();
        break;
    case CStBtn::WM_ST_PLAY:
        OnPlay();
        break;
    case CStBtn::WM_ST_FIRST:
        First();
        break;
    case CStBtn::WM_ST_REWIND:
        Rewind();
        break;
    case CStBtn::WM_ST_FORWARD:
        Forward();
        break;
    case WM_SAVE:
        Save();
        break;
    default:
        break;
    }
    return 0;
}

void CStPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_back);
}
