#include "CSaveNameDlg.h"

#include "CFusion.h"
#include "CLast.h"
#include "CTrade.h"
#include "RecorderSkin.h"

#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPainter>

namespace {
const QString kCaption = QStringLiteral("メッセージ");
} // namespace

CSaveNameDlg::CSaveNameDlg(const QString& proposed, QWidget* parent) {
    setParent(parent, Qt::Dialog);
    setWindowTitle(QStringLiteral("演奏の保存"));
    setFixedSize(352, 56);
    auto* caption = new CIconWnd;
    const CBmpMask text = recorderskin::Mask(&CTrade::GetTextFilename, this, 0, CBmpMask::RGN_RECT);
    caption->Create(QRect(QPoint(12, 21), text.GetAniRect(0).size()), this, text);
    caption->NoNotify();
    m_edit = new QLineEdit(proposed, this);
    m_edit->setGeometry(60, 17, 228, 21);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    m_edit->setAccessibleName(QStringLiteral("ファイル名"));
    m_edit->selectAll();
    m_save = new CIconWndButton;
    const CBmpMask save = recorderskin::Mask(&CTrade::GetBmpBtnSave, this, WM_SAVE);
    m_save->Create(QRect(QPoint(300, 8), save.GetAniRect(0).size()), this, save);
    m_save->SetHint(QStringLiteral("保存"), QStringLiteral("この名前でアルバムに保存"));
    // Enter in the field saves, as the save button does.
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { OnOK(); });
    m_edit->setFocus();
}

CSaveNameDlg::~CSaveNameDlg() = default;

QString CSaveNameDlg::Name() const {
    return m_edit->text();
}

QString CSaveNameDlg::Refusal(const QString& name) {
    // A name of spaces alone would list as a blank line in the album.
    if (name.trimmed().isEmpty()) {
        return QStringLiteral("ファイル名を入力してください。");
    }
    // The name becomes a file of the album folder: a separator would put it somewhere else.
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0))) {
        return QStringLiteral("ファイル名に「/」は使えません。");
    }
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control) {
            return QStringLiteral("ファイル名に改行などの制御文字は使えません。");
        }
    }
    // A leading dot hides the file, so the album would never show the take.
    if (name.startsWith(QLatin1Char('.'))) {
        return QStringLiteral("ファイル名を「.」で始めることはできません。");
    }
    // The file system takes at most 255 bytes per name, extension included; a longer name
    // would only fail at the move with a bare system message.
    if (QFile::encodeName(name).size() + 4 > 255) {
        return QStringLiteral("ファイル名が長すぎます。");
    }
    return QString();
}

void CSaveNameDlg::OnOK() {
    const QString refusal = Refusal(Name());
    if (!refusal.isEmpty()) {
        CLast::Fusion().ShowMessage(refusal, MB_OK, kCaption);
        m_edit->setFocus();
        return;
    }
    accept();
}

LRESULT CSaveNameDlg::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == WM_SAVE) {
        OnOK();
    }
    return 0;
}

void CSaveNameDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (CLast::HasTrade()) {
        CLast::Trade().PaintDlgBack(this, painter);
    } else {
        CTrade().PaintDlgBack(this, painter);
    }
}
