#include "CStereoDlg.h"

#include "CAlbumDlg.h"
#include "CCheckUSBdev.h"
#include "CFusion.h"
#include "CLast.h"
#include "CManage.h"
#include "CSysinfo.h"
#include "CWinMsg.h"
#include "IconMessages.h"
#include "RecorderSkin.h"

#include <QCloseEvent>
#include <QPainter>

namespace {
constexpr int kClientWidth = 404;
constexpr int kMargin = 3;
constexpr int kTabLeft = 8;
} // namespace

CStereoDlg::CStereoDlg(QWidget* parent) {
    setParent(parent, Qt::Tool);
    setWindowTitle(QStringLiteral("演奏の録音／再生"));

    const struct {
        CIconWndButton** button;
        recorderskin::Accessor art;
        unsigned int message;
        const char* name;
    } tabs[] = {
        {&m_tabSeq, &CTrade::GetBmpBtnSeq, WM_TAB_SEQ, "MIDI"},
        {&m_tabAud, &CTrade::GetBmpBtnAud, WM_TAB_AUD, "オーディオ"},
        {&m_tabMix, &CTrade::GetBmpBtnMix, WM_TAB_MIX, "ミックス"},
        {&m_tabAlbum, &CTrade::GetBmpBtnAlbam, WM_TAB_ALBUM, "アルバム"},
    };
    int y = kMargin;
    for (const auto& tab : tabs) {
        auto* button = new CIconWndButton;
        const CBmpMask mask = recorderskin::Mask(tab.art, this, tab.message);
        button->Create(QRect(QPoint(kTabLeft, y), mask.GetAniRect(0).size()), this, mask);
        button->SetHint(QString::fromUtf8(tab.name), QString::fromUtf8(tab.name));
        *tab.button = button;
        y += mask.GetAniRect(0).height() + 1;
    }

    m_seq = new CSeqDlg;
    m_seq->Create(this);
    m_aud = new CAudDlg;
    m_aud->Create(this);
    m_mix = new CMixDlg;
    m_mix->Create(this);
    for (CStPanel* panel : {static_cast<CStPanel*>(m_seq), static_cast<CStPanel*>(m_aud),
                            static_cast<CStPanel*>(m_mix)}) {
        panel->move(kPanelAt);
        panel->hide();
    }
    ShowPanel(PANEL_AUD, false);
    ShowPanel(PANEL_SEQ, false);
    if (CLast::HasManage()) {
        CLast::Manage().SetStereo(this);
    }
}

CStereoDlg::~CStereoDlg() {
    if (CLast::HasManage() && CLast::Manage().GetStereo() == this) {
        CLast::Manage().SetStereo(nullptr);
    }
}

CIconWndButton* CStereoDlg::Tab(unsigned int message) const {
    switch (message) {
    case WM_TAB_SEQ:
        return m_tabSeq;
    case WM_TAB_AUD:
        return m_tabAud;
    case WM_TAB_MIX:
        return m_tabMix;
    case WM_TAB_ALBUM:
        return m_tabAlbum;
    default:
        return nullptr;
    }
}

CStPanel* CStereoDlg::Panel(PANEL panel) const {
    switch (panel) {
    case PANEL_SEQ:
        return m_seq;
    case PANEL_AUD:
        return m_aud;
    case PANEL_MIX:
        return m_mix;
    }
    return m_seq;
}

void CStereoDlg::ShowPanel(PANEL panel, bool place) {
    for (PANEL other : {PANEL_SEQ, PANEL_AUD, PANEL_MIX}) {
        if (other != panel) {
            Panel(other)->hide();
        }
    }
    CStPanel* shown = Panel(panel);
    if (place && m_placed[panel]) {
        shown->move(kPanelAt);
    }
    m_placed[panel] = true;
    shown->show();
    m_tabSeq->Check(panel == PANEL_SEQ ? 1 : 0);
    m_tabAud->Check(panel == PANEL_AUD ? 1 : 0);
    m_tabMix->Check(panel == PANEL_MIX ? 1 : 0);
    m_current = panel;
    // The window is as tall as the panel's picture with its margins.
    setFixedSize(kClientWidth, kPanelAt.y() + shown->height() + kMargin);
    shown->Refresh();
}

bool CStereoDlg::SelectPanel(PANEL panel) {
    if (CLast::HasManage() && CLast::Manage().WhatAllStop(1, 0) != ERR_VESK_OK) {
        return false;
    }
    ShowPanel(panel, true);
    OnDataChange();
    return true;
}

void CStereoDlg::OnDataChange() {
    Forward(WM_DATACHANGE, 0, 0);
    const int quiet = CLast::HasManage() ? CLast::Manage().IsNotRunning() : 1;
    for (CIconWndButton* tab : {m_tabSeq, m_tabAud, m_tabMix}) {
        if (tab->Checkd() == 0) {
            tab->SetEnable(quiet);
        }
    }
    m_tabAlbum->SetEnable(quiet);
}

void CStereoDlg::Forward(UINT message, WPARAM wParam, LPARAM lParam) {
    for (PANEL panel : {PANEL_SEQ, PANEL_AUD, PANEL_MIX}) {
        CStPanel* target = Panel(panel);
        switch (message) {
        case WM_DATACHANGE:
            target->Refresh();
            break;
        case CSysinfo::WM_STOPFROMMIDDLE:
            target->OnStop();
            break;
        default:
            CWinMsg::PostMessage(target, message, wParam, lParam);
            break;
        }
    }
}

void CStereoDlg::OnStopFromMiddle() {
    bool running = false;
    for (PANEL panel : {PANEL_SEQ, PANEL_AUD, PANEL_MIX}) {
        running = running || Panel(panel)->Strip()->IsRunning();
    }
    Forward(CSysinfo::WM_STOPFROMMIDDLE, 0, 0);
    // The engine also stops a take that played to its end; one it stopped because the piano
    // went away must not look the same to the player, who would take a cut-short recording
    // for a whole one.
    if (running && CCheckUSBdev::CheckStatus() != ZQ31_Connected && CLast::HasFusion()) {
        CLast::Fusion().ShowMessage(
            m_current == PANEL_SEQ
                ? QStringLiteral("MIDIデバイスを使用することができません。\r\nZQ31本体と正しく"
                                 "接続されているかを確認してください。")
                : QStringLiteral("オーディオデバイスを使用することができません。\r\nZQ31本体と"
                                 "正しく接続されているかを確認してください。"),
            MB_OK, QStringLiteral("メッセージ"));
    }
}

int CStereoDlg::RunAlbum() {
    CAlbumDlg album(this);
    if (album.exec() != QDialog::Accepted) {
        return 0;
    }
    return album.GetSelectRec();
}

void CStereoDlg::OnAlbum() {
    if (!CLast::HasManage() || CLast::Manage().WhatAllStop(1, 0) != ERR_VESK_OK) {
        return;
    }
    m_tabAlbum->Check(1);
    const int choice = RunAlbum();
    m_tabAlbum->Check(0);
    // The album may have deleted or replaced the files the takes name.
    CLast::Manage().IsExistFile();
    if (choice == 1) {
        ShowPanel(PANEL_SEQ, true);
    } else if (choice == 2) {
        ShowPanel(PANEL_AUD, true);
    } else if (choice == 3) {
        ShowPanel(PANEL_MIX, true);
    }
    CWinMsg::PostMessage(this, WM_DATACHANGE, 0, 0);
}

LRESULT CStereoDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DATACHANGE:
        OnDataChange();
        break;
    case WM_AUDLEVEL:
        CWinMsg::PostMessage(m_aud, message, wParam, lParam);
        break;
    case CSysinfo::WM_STOPFROMMIDDLE:
        OnStopFromMiddle();
        break;
    case WM_TAB_SEQ:
        SelectPanel(PANEL_SEQ);
        break;
    case WM_TAB_AUD:
        SelectPanel(PANEL_AUD);
        break;
    case WM_TAB_MIX:
        SelectPanel(PANEL_MIX);
        break;
    case WM_TAB_ALBUM:
        OnAlbum();
        break;
    default:
        break;
    }
    return 0;
}

void CStereoDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ShowPanel(m_current, true);
}

bool CStereoDlg::TryClose() {
    if (CLast::HasManage()) {
        CManage& manage = CLast::Manage();
        if (manage.WhatAllStop(1, 0) != ERR_VESK_OK || manage.ClearSoundFile() != 1) {
            // Whatever the questions changed is shown again.
            OnDataChange();
            return false;
        }
    }
    m_closing = true;
    hide();
    m_closing = false;
    OnDataChange();
    return true;
}

void CStereoDlg::closeEvent(QCloseEvent* event) {
    if (m_closing || TryClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CStereoDlg::reject() {
    TryClose();
}

void CStereoDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (CLast::HasTrade()) {
        CLast::Trade().PaintDlgBack(this, painter);
    } else {
        CTrade().PaintDlgBack(this, painter);
    }
}
