#include "CStBtn.h"

#include "RecorderSkin.h"

#include <QPainter>

namespace {
constexpr QSize kStrip(190, 58);
constexpr int kButtonTop = 24;
constexpr int kButtonLeft = 5;
constexpr int kButtonWidth = 30;
// Windows colour values (0x00BBGGRR) of the time window: text RGB(249, 233, 179) on
// RGB(198, 148, 82).
constexpr unsigned int kTimeBack = 0x005294C6;
constexpr unsigned int kTimeText = 0x00B3E9F9;
} // namespace

CStBtn::CStBtn() = default;

CStBtn::~CStBtn() = default;

void CStBtn::Create(QPoint at, QWidget* panel) {
    setParent(panel);
    setGeometry(QRect(at, kStrip));
    m_back = recorderskin::Picture(&CTrade::GetBmpStButtonBack);

    m_time = new CTextWnd;
    m_time->Create(QRect(QPoint(40, 3), QPoint(kStrip.width() - 40 - 1, 20 - 1)), this);
    m_time->SetColor(kTimeBack);
    m_time->SetTextColor(kTimeText);
    m_time->Center();
    m_time->NoNotify();

    struct Def {
        CIconWndButton** button;
        recorderskin::Accessor art;
        unsigned int message;
        const char* name;
    };
    const Def defs[] = {
        {&m_first, &CTrade::GetBmpBtnFirst, WM_ST_FIRST, "最初へ"},
        {&m_rewind, &CTrade::GetBmpBtnRewind, WM_ST_REWIND, "巻き戻し"},
        {&m_rec, &CTrade::GetBmpBtnRec, WM_ST_REC, "録音"},
        {&m_stop, &CTrade::GetBmpBtnStop, WM_ST_STOP, "停止"},
        {&m_play, &CTrade::GetBmpBtnPlay, WM_ST_PLAY, "再生"},
        {&m_forward, &CTrade::GetBmpBtnForward, WM_ST_FORWARD, "早送り"},
    };
    int x = kButtonLeft;
    for (const Def& def : defs) {
        auto* button = new CIconWndButton;
        const CBmpMask mask = recorderskin::Mask(def.art, panel, def.message);
        button->Create(QRect(QPoint(x, kButtonTop), mask.GetAniRect(0).size()), this, mask);
        button->SetHint(QString::fromUtf8(def.name), QString::fromUtf8(def.name));
        *def.button = button;
        x += kButtonWidth;
    }
    m_rewind->Repeat();
    m_forward->Repeat();
    show();
}

void CStBtn::SetTime(const QString& text) {
    if (m_time != nullptr && (m_time->Lines().join(QString()) != text)) {
        m_time->SetText(text);
    }
}

QString CStBtn::Time() const {
    return m_time == nullptr ? QString() : m_time->Lines().join(QString());
}

void CStBtn::ShowRecording() {
    m_rec->Check(1);
    m_play->Check(1);
    m_rec->SetEnable(1);
    for (CIconWndButton* moving : {m_first, m_rewind, m_forward}) {
        moving->SetEnable(0);
    }
}

void CStBtn::ShowPlaying() {
    m_play->Check(1);
    m_rec->Check(0);
    m_rec->SetEnable(0);
    for (CIconWndButton* moving : {m_first, m_rewind, m_forward}) {
        moving->SetEnable(1);
    }
}

void CStBtn::ShowStopped() {
    m_rec->Check(0);
    m_play->Check(0);
    for (CIconWndButton* button : {m_rec, m_first, m_rewind, m_forward}) {
        button->SetEnable(1);
    }
}

bool CStBtn::IsRunning() const {
    return m_play->Checkd() != 0 || m_rec->Checkd() != 0;
}

CIconWndButton* CStBtn::Button(unsigned int message) const {
    switch (message) {
    case WM_ST_REC:
        return m_rec;
    case WM_ST_STOP:
        return m_stop;
    case WM_ST_PLAY:
        return m_play;
    case WM_ST_FIRST:
        return m_first;
    case WM_ST_REWIND:
        return m_rewind;
    case WM_ST_FORWARD:
        return m_forward;
    default:
        return nullptr;
    }
}

void CStBtn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_back);
}
