#include "CAboutDlg.h"

#include "CAboutText.h"
#include "CBmpMask.h"
#include "CLast.h"
#include "CTrade.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The program's icon; where none is set, the grand piano of the skin stands for it.
QPixmap ProgramIcon() {
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        return icon.pixmap(48, 48);
    }
    static CTrade own;
    CTrade& skin = CLast::HasTrade() ? CLast::Trade() : own;
    CBmpMask mask;
    skin.GetBmpBtnGrandPiano(mask);
    const QImage picture = mask.GetAniBmp(0);
    if (picture.isNull()) {
        return {};
    }
    // Only the button's outline: the key colour around it stays transparent.
    QImage shaped(picture.size(), QImage::Format_ARGB32_Premultiplied);
    shaped.setDevicePixelRatio(picture.devicePixelRatio());
    shaped.fill(Qt::transparent);
    {
        QPainter painter(&shaped);
        painter.setClipRegion(mask.GetAniRgn(0));
        painter.drawImage(QPoint(0, 0), picture);
    }
    return QPixmap::fromImage(shaped.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("バージョン情報"));
    m_icon = new QLabel(this);
    m_icon->setPixmap(ProgramIcon());
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_icon->setFixedWidth(56);

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setPlainText(CAboutText::ForTerminal(CAboutText::Text()));
    m_text->setTabStopDistance(m_text->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
    m_text->setAccessibleName(QStringLiteral("バージョン情報"));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(m_icon);
    top->addWidget(m_text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    // 263 x 156 dialog units in the font of the program are about 520 x 330 pixels.
    resize(560, 380);
}

CAboutDlg::~CAboutDlg() = default;

QString CAboutDlg::Text() const {
    return m_text->toPlainText();
}
