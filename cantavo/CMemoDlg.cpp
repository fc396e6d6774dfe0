#include "CMemoDlg.h"

#include "CLast.h"
#include "CManage.h"
#include "RecorderSkin.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPlainTextEdit>

CMemoDlg::CMemoDlg(QWidget* parent) {
    setParent(parent, Qt::Dialog);
    setWindowTitle(QStringLiteral("メモ"));
    setFixedSize(330, 172);
    m_edit = new QPlainTextEdit(this);
    m_edit->setGeometry(12, 12, 306, 102);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    m_edit->setAccessibleName(QStringLiteral("メモ"));
    if (CLast::HasManage()) {
        m_edit->setPlainText(CLast::Manage().GetSeqMemo());
    }
    m_ok = new CIconWndButton;
    const CBmpMask ok = recorderskin::Mask(&CTrade::GetBmpBtnOk, this, WM_MEMO_OK);
    m_ok->Create(QRect(QPoint(228, 122), ok.GetAniRect(0).size()), this, ok);
    m_ok->SetHint(QStringLiteral("OK"), QStringLiteral("メモを保存する"));
    m_cancel = new CIconWndButton;
    const CBmpMask cancel = recorderskin::Mask(&CTrade::GetBmpBtnCancel, this, WM_MEMO_CANCEL);
    m_cancel->Create(QRect(QPoint(276, 122), cancel.GetAniRect(0).size()), this, cancel);
    m_cancel->SetHint(QStringLiteral("キャンセル"), QStringLiteral("メモを変えずに閉じる"));
    m_edit->setFocus();
}

CMemoDlg::~CMemoDlg() = default;

void CMemoDlg::OnOK() {
    if (CLast::Manage().SetMemo(m_edit->toPlainText()) != 0) {
        accept();
    }
}

LRESULT CMemoDlg::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == WM_MEMO_OK) {
        OnOK();
    } else if (message == WM_MEMO_CANCEL) {
        reject();
    }
    return 0;
}

void CMemoDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (CLast::HasTrade()) {
        CLast::Trade().PaintDlgBack(this, painter);
    } else {
        CTrade().PaintDlgBack(this, painter);
    }
}
