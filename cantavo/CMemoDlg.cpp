#include "CMemoDlg.h"

#include "CFusion.h"
#include "CLast.h"
#include "CManage.h"
#include "CMemoCodec.h"
#include "CSequencerRec.h"
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

QString CMemoDlg::Refusal(const QString& memo) {
    // The memo is stored in the file's own character set: a character it cannot hold, or a
    // memo longer than the file keeps, would come back changed without anyone being told.
    const QByteArray stored = CMemoCodec::ToFile(memo);
    if (CMemoCodec::FromFile(stored) != memo) {
        for (const char32_t c : memo.toUcs4()) {
            const QString one = QString::fromUcs4(&c, 1);
            if (CMemoCodec::FromFile(CMemoCodec::ToFile(one)) != one) {
                return QStringLiteral("メモに使えない文字が含まれています。（%1）").arg(one);
            }
        }
        return QStringLiteral("メモに使えない文字が含まれています。");
    }
    if (static_cast<std::size_t>(stored.size()) > CSequencerRec::kMemoLimit) {
        return QStringLiteral("メモが長すぎます。");
    }
    return {};
}

void CMemoDlg::OnOK() {
    const QString memo = m_edit->toPlainText();
    const QString refusal = Refusal(memo);
    if (!refusal.isEmpty()) {
        CLast::Fusion().ShowMessage(refusal, MB_OK, QStringLiteral("メッセージ"));
        return;
    }
    if (CLast::Manage().SetMemo(memo) != 0) {
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
