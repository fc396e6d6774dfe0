#include "CInitialDlg.h"

#include "CLast.h"
#include "CTrade.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {

CTrade& Skin() {
    static CTrade own;
    return CLast::HasTrade() ? CLast::Trade() : own;
}

} // namespace

CInitialDlg::CInitialDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setFixedSize(kWidth, kHeight);
    Recentre();
}

CInitialDlg::~CInitialDlg() = default;

void CInitialDlg::Recentre() {
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
}

void CInitialDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin().PaintSplash(painter);
}
