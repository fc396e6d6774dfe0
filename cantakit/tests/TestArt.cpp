#include "TestArt.h"

#include <QPainter>

namespace TestArt {

QImage Disc(int size, const QColor& colour) {
    QImage picture(size, size, QImage::Format_RGB32);
    picture.fill(kKey);
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRect(2, 2, size - 4, size - 4));
    return picture;
}

QImage Block(int w, int h, int inset, const QColor& colour) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(kKey);
    QPainter painter(&picture);
    painter.fillRect(QRect(inset, inset, w - 2 * inset, h - 2 * inset), colour);
    return picture;
}

CBmpMask ButtonMask(QObject* parent, CBmpMask::EVENT_FLAG flag, unsigned int message, int size) {
    CBmpMask mask(parent);
    mask.SetEventFlag(flag);
    mask.SetMsg(message);
    mask.SetAniBmp(Disc(size, kUp));
    mask.SetAniBmp(Disc(size, kPressed));
    mask.SetAniBmp(Disc(size, kDisabled));
    return mask;
}

} // namespace TestArt
