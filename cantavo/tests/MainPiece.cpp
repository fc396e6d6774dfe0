#include "MainPiece.h"

#include "CLast.h"
#include "CManage.h"
#include "CWinMsg.h"
#include "IconMessages.h"

namespace {
constexpr UINT kReverbIconClick = 0x426;
constexpr UINT kMetronomeIconClick = 0x427;
} // namespace

LRESULT CPieceView::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message == WM_DATACHANGE) {
        if (character != nullptr) {
            character->ChangeChar(static_cast<unsigned int>(m_manage.GetMetroCharType()));
        }
        m_manage.WakeUpMetro();
        CWinMsg::PostMessage(frosted, WM_DATACHANGE, 0, 0);
        ++clicks;
    } else if (message == kReverbIconClick || message == kMetronomeIconClick) {
        ++clicks;
    }
    return 0;
}

LRESULT CLoggedCharacter::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CIconWndSelfish::OnMessage(message, wParam, lParam);
    if (message == WM_DATACHANGE && wParam != kKeepFrameParam) {
        shown.push_back({CurrentFrame(), GetBitmap().cacheKey()});
    }
    if (message == WM_SELFISHFRAME) {
        ++showFrames;
        if (onShowFrame) {
            onShowFrame(static_cast<unsigned int>(wParam));
        }
    }
    return result;
}

CMainPiece::CMainPiece(CManage& state) : manage(state), view(state) {
    CLast::InitTrade(&trade);
    view.setFixedSize(792, 526);

    CBmpMask picture(&view);
    picture.SetMsg(kReverbIconClick);
    picture.SetRgnFlag(CBmpMask::RGN_RECT);
    trade.GetBmpReverb(picture);
    reverbIcon.Create(view.rect(), &view, picture);
    manage.SetReverbIcon(&reverbIcon);

    CBmpMask poses(&view);
    poses.SetMsg(kMetronomeIconClick);
    trade.GetBmpMetronome(poses);
    const QSize size = poses.GetAniRect(0).size();
    character.Create(QRect(QPoint(680, 410 - size.height()), size), &reverbIcon, poses);
    manage.SetMetronomeIcon(&character);
    for (auto art : {&CTrade::GetBmpMetAniMet, &CTrade::GetBmpMetAniCon, &CTrade::GetBmpMetAniBea,
                     &CTrade::GetBmpMetAniLad}) {
        CBmpMask show(&view);
        (trade.*art)(show);
        character.SetSelfishMask(show);
    }
    view.character = &character;

    CBmpMask overlay(&view);
    overlay.SetMsg(WM_DATACHANGE);
    trade.GetBmpReverbMask(overlay);
    frosted.Create(reverbIcon.rect(), &reverbIcon, overlay);
    manage.SetFrosted(&frosted);
    reverbIcon.SetChild(&frosted);
    view.frosted = &frosted;

    keyboard = new CKeyboardDlg(&frosted);
    frosted.SetKeyboard(keyboard);
    conpane = std::make_unique<CConpaneDlg>();
    conpane->SetParentWnd(&view);
    manage.SetConpane(conpane.get());
    metronome = std::make_unique<CMetronomeDlg>(&view);
    manage.SetMetronomeDlg(metronome.get());
    metronome->SetReportTo(&view);
    reverb = std::make_unique<CReverbDlg>(&view);
    manage.SetReverb(reverb.get());

    manage.Refresh();
    CWinMsg::PumpMessages();
}

CMainPiece::~CMainPiece() {
    manage.SetReverbIcon(nullptr);
    manage.SetMetronomeIcon(nullptr);
    manage.SetFrosted(nullptr);
    manage.SetConpane(nullptr);
    manage.SetMetronomeDlg(nullptr);
    manage.SetReverb(nullptr);
    metronome.reset();
    reverb.reset();
    conpane.reset();
    CLast::InitTrade(nullptr);
}

QPoint CMainPiece::Background() const {
    const QRegion outline = frosted.Mask().GetAniRgn(0);
    for (const QRect& band : outline) {
        for (int y = band.top(); y <= band.bottom(); y += 2) {
            for (int x = band.left(); x <= band.right(); x += 2) {
                const QPoint p(x, y);
                bool covered = false;
                for (QObject* child : frosted.children()) {
                    auto* widget = qobject_cast<QWidget*>(child);
                    if (widget != nullptr &&
                        widget->geometry().adjusted(-2, -2, 2, 2).contains(p)) {
                        covered = true;
                        break;
                    }
                }
                if (!covered && outline.contains(QRect(p - QPoint(2, 2), QSize(5, 5)))) {
                    return p;
                }
            }
        }
    }
    return QPoint(-1, -1);
}

QImage CMainPiece::Grab() {
    return view.grab().toImage();
}
