#include "CAudLevel.h"

#include "CDummy.h"
#include "CVeskToy.h"
#include "EngineTypes.h"
#include "IconMessages.h"
#include "RecorderSkin.h"

#include <QPainter>

CAudLevel::CAudLevel() = default;

CAudLevel::~CAudLevel() = default;

void CAudLevel::Create(QPoint at, QWidget* parent) {
    setParent(parent);
    m_back = recorderskin::Picture(&CTrade::GetBmpBackLevel);
    setGeometry(QRect(at, QSize(90, 110)));
    m_left = new CProgress;
    m_left->Create(QRect(QPoint(17, 7), QPoint(42 - 1, 90 - 1)), this);
    m_right = new CProgress;
    m_right->Create(QRect(QPoint(50, 7), QPoint(75 - 1, 90 - 1)), this);
    for (CProgress* bar : {m_left, m_right}) {
        bar->SetRange(AUDLEVELOUT_MIN, AUDLEVELOUT_MAX);
        bar->NoNotify();
    }
    m_left->setAccessibleName(QStringLiteral("左のレベル"));
    m_right->setAccessibleName(QStringLiteral("右のレベル"));
    show();
}

void CAudLevel::SetLevels(unsigned int left, unsigned int right) {
    m_left->SetPos(left);
    m_right->SetPos(right);
}

LRESULT CAudLevel::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_AUDLEVEL) {
        unsigned int left = 0;
        unsigned int right = 0;
        CVeskToy::DivideMessage(left, right, static_cast<unsigned int>(wParam));
        SetLevels(left, right);
    } else if (message == WM_DATACHANGE) {
        update();
    }
    return 0;
}

void CAudLevel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_back);
}
