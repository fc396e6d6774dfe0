#include "CIconWndSelfish.h"

#include "CLast.h"
#include "CWinMsg.h"
#include "IconMessages.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QTimerEvent>

CIconWndSelfish::CIconWndSelfish() = default;

CIconWndSelfish::~CIconWndSelfish() {
    for (CBmpMask& character : m_chars) {
        character.Release();
    }
}

void CIconWndSelfish::SetSelfishMask(CBmpMask mask) {
    m_chars.push_back(mask);
}

void CIconWndSelfish::ChangeChar(unsigned int n) {
    if (n < m_chars.size()) {
        m_char = n;
    }
    CLast::UpdateAccess();
}

int CIconWndSelfish::OnInitialWnd() {
    const int result = CIconWnd::OnInitialWnd();
    m_idleTimer = startTimer(kCheckPeriod);
    return result;
}

void CIconWndSelfish::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_idleTimer) {
        CIconWnd::timerEvent(event);
        return;
    }
    // Elapsed time, not a sum compared with the clock: right across the 49-day wrap of the
    // tick count. A character already performing is not asked again.
    const std::uint32_t now = CLast::GetTickCount();
    const bool idle = CLast::TickElapsed(CLast::GetLastAccess(), now) > kIdle &&
                      (m_poseChanges == 0 || CLast::TickElapsed(m_lastMoved, now) > kIdle);
    if (m_ready && idle) {
        CWinMsg::PostMessage(this, WM_SELFISHANIMATION, 0, 0);
    }
}

LRESULT CIconWndSelfish::OnSelfishAnimation(WPARAM, LPARAM) {
    if (!m_ready || m_char >= m_chars.size()) {
        return 0;
    }
    QPointer<CIconWndSelfish> self(this);
    m_ready = false;
    QObject* audience = m_mask.GetParent();
    CWinMsg::PostMessage(audience, WM_DATACHANGE, 0, 0);
    CWinMsg::PumpMessages();
    if (!self) {
        return 0;
    }
    const std::uint32_t stamp = CLast::GetLastAccess();
    const unsigned int poses = m_poseChanges;
    const unsigned int frames = m_chars[m_char].SizeAni();
    for (unsigned int i = 0; i < frames; ++i) {
        if (CLast::GetLastAccess() != stamp || m_poseChanges != poses) {
            break;
        }
        CWinMsg::PostMessage(this, WM_SELFISHFRAME, i, 0);
        // Other messages, clicks included, are handled while the frame stays.
        QEventLoop wait;
        QTimer::singleShot(kFrameTime, &wait, &QEventLoop::quit);
        QObject::connect(this, &QObject::destroyed, &wait, &QEventLoop::quit);
        wait.exec();
        if (!self) {
            return 0;
        }
    }
    CWinMsg::PostMessage(audience, WM_DATACHANGE, 0, 0);
    m_ready = true;
    return 1;
}

LRESULT CIconWndSelfish::OnChangeSelfish(WPARAM wParam, LPARAM) {
    if (m_char >= m_chars.size() || wParam >= m_chars[m_char].SizeAni()) {
        return 0;
    }
    const auto i = static_cast<unsigned int>(wParam);
    const CBmpMask& character = m_chars[m_char];
    ApplyRegion(character, i);
    ShowPicture(character.GetAniBmp(i));
    resize(character.GetAniRect(i).size());
    // The window shows a picture of the performance now, not a frame of its own mask: the
    // owner's next pose must be drawn even when it is the pose shown before.
    m_current = -2;
    CWinMsg::PumpMessages();
    return 1;
}

LRESULT CIconWndSelfish::OnPose(WPARAM wParam, LPARAM lParam) {
    if (wParam != kKeepFrameParam) {
        const int pose = static_cast<int>(wParam & 0xFFFF);
        if (pose != m_pose) {
            m_pose = pose;
            ++m_poseChanges;
            m_lastMoved = CLast::GetTickCount();
        } else if (!m_ready) {
            // The pose it already had, while performing: the performance keeps the picture.
            wParam = kKeepFrameParam;
        }
    }
    return OnDataChange(wParam, lParam);
}

LRESULT CIconWndSelfish::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CIconWndSelfish> map{
        {WM_SELFISHANIMATION, &CIconWndSelfish::OnSelfishAnimation},
        {WM_SELFISHFRAME, &CIconWndSelfish::OnChangeSelfish},
        {WM_DATACHANGE, &CIconWndSelfish::OnPose}};
    if (map.Handles(message)) {
        return map.Dispatch(this, message, wParam, lParam);
    }
    return CIconWnd::OnMessage(message, wParam, lParam);
}

void CIconWndSelfish::closeEvent(QCloseEvent* event) {
    m_ready = true;
    CIconWnd::closeEvent(event);
}
