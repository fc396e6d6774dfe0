#include "CMainFrame.h"

#include "CCantavoApp.h"
#include "CCantavoView.h"
#include "CFavouriteFile.h"
#include "CHelpDocument.h"
#include "CIconWndSelfish.h"
#include "CLast.h"
#include "CManage.h"
#include "CMessageMap.h"
#include "CPlacement.h"
#include "CScorp.h"
#include "CTrace.h"
#include "IconMessages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <algorithm>

const QString CMainFrame::kTitle = QStringLiteral("ZQ31 Concertino");
const QString CMainFrame::kPlacementSection = QStringLiteral("MainFrame");

namespace {

// How long a close waits for the metronome character to end its show. The show ends at its
// next frame once it sees the user's activity; it cannot end while the close itself runs
// inside the show's own wait, so the close goes on after this time.
constexpr int kCharacterWaitMs = 3000;

const QString& FavouriteOf(UINT command) {
    switch (command) {
    case CMainFrame::ID_FAVOURITE_LOAD_1:
    case CMainFrame::ID_FAVOURITE_SAVE_1:
        return CFavouriteFile::kFavourite1;
    case CMainFrame::ID_FAVOURITE_LOAD_2:
    case CMainFrame::ID_FAVOURITE_SAVE_2:
        return CFavouriteFile::kFavourite2;
    case CMainFrame::ID_FAVOURITE_LOAD_3:
    case CMainFrame::ID_FAVOURITE_SAVE_3:
        return CFavouriteFile::kFavourite3;
    default:
        return CFavouriteFile::kLastExit;
    }
}

} // namespace

CMainFrame::CMainFrame() {
    setWindowTitle(kTitle);
    // No sizing border and no maximize: the client area is the hall's picture.
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    m_view = new CCantavoView(this);
    setCentralWidget(m_view);
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    if (CLast::HasManage()) {
        CLast::Manage().SetUserMenu(this);
    }
}

CMainFrame::~CMainFrame() {
    if (CLast::HasManage() && CLast::Manage().GetUserMenu() == this) {
        CLast::Manage().SetUserMenu(nullptr);
    }
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, UINT command,
                                const QString& prompt) {
    QAction* action = menu->addAction(text);
    action->setData(command);
    if (!prompt.isEmpty()) {
        // A prompt is "status text\ntooltip"; without a status bar under the view, the menu
        // shows the tooltip part when the pointer rests on the item.
        const QStringList parts = prompt.split(QLatin1Char('\n'));
        action->setStatusTip(parts.first());
        action->setToolTip(parts.last());
        menu->setToolTipsVisible(true);
    }
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    m_actions[command] = action;
    return action;
}

void CMainFrame::BuildMenu() {
    const QString load = QStringLiteral("設定の読込");
    const QString save = QStringLiteral("設定の保存");

    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    m_loadMenu = file->addMenu(QStringLiteral("お気に入り設定を開く(&O)"));
    AddCommand(m_loadMenu, QStringLiteral("お気に入り設定１(&1)"), ID_FAVOURITE_LOAD_1, load);
    AddCommand(m_loadMenu, QStringLiteral("お気に入り設定２(&2)"), ID_FAVOURITE_LOAD_2, load);
    AddCommand(m_loadMenu, QStringLiteral("お気に入り設定３(&3)"), ID_FAVOURITE_LOAD_3, load);
    m_loadMenu->addSeparator();
    AddCommand(m_loadMenu, QStringLiteral("前回終了時の設定(&X)"), ID_LOAD_LAST_EXIT,
               QStringLiteral("設定を前回終了時の設定にする"));
    // The load items follow the files each time the menu opens.
    connect(m_loadMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateFavouriteItems);
    QMenu* saving = file->addMenu(QStringLiteral("お気に入り設定の保存(&S)"));
    AddCommand(saving, QStringLiteral("お気に入り設定１(&1)"), ID_FAVOURITE_SAVE_1, save);
    AddCommand(saving, QStringLiteral("お気に入り設定２(&2)"), ID_FAVOURITE_SAVE_2, save);
    AddCommand(saving, QStringLiteral("お気に入り設定３(&3)"), ID_FAVOURITE_SAVE_3, save);
    file->addSeparator();
    AddCommand(file, QStringLiteral("アプリケーションの終了(&X)"), ID_APP_EXIT);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("設定(&O)"));
    QMenu* compress = settings->addMenu(QStringLiteral("オーディオ圧縮(&C)"));
    AddCommand(compress, QStringLiteral("MP3(&M)"), ID_COMPRESS_MP3)->setCheckable(true);
    AddCommand(compress, QStringLiteral("Windows Media 形式(&W)"), ID_COMPRESS_WMA)
        ->setCheckable(true);
    settings->addSeparator();
    AddCommand(settings, QStringLiteral("ZQ31本体に最新の情報を送信(&R)"), ID_REFRESH_PIANO,
               QStringLiteral("ZQ31本体に最新の情報を送信\nZQ31本体に最新の情報を送信する"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddCommand(help, QStringLiteral("ZQ31 Concertino の使い方(&H)"), ID_HELP_GUIDE);
    help->addSeparator();
    AddCommand(help, QStringLiteral("ZQ31 Concertino のバージョン情報(&A)"), ID_APP_ABOUT);
    UpdateFavouriteItems();
}

QAction* CMainFrame::Action(UINT command) const {
    const auto found = m_actions.find(command);
    return found != m_actions.end() ? found->second : nullptr;
}

QList<QAction*> CMainFrame::CommandActions() const {
    QList<QAction*> actions;
    for (const auto& [command, action] : m_actions) {
        actions.append(action);
    }
    return actions;
}

void CMainFrame::UpdateFavouriteItems() {
    for (UINT command :
         {ID_FAVOURITE_LOAD_1, ID_FAVOURITE_LOAD_2, ID_FAVOURITE_LOAD_3, ID_LOAD_LAST_EXIT}) {
        Action(command)->setEnabled(CFavouriteFile::Exists(FavouriteOf(command)));
    }
}

void CMainFrame::OnCommand(UINT command) {
    const CScorp scope("CMainFrame", "OnCommand", CLast::Trace());
    CLast::Trace().TraceEnd(command);
    switch (command) {
    case ID_FAVOURITE_LOAD_1:
    case ID_FAVOURITE_LOAD_2:
    case ID_FAVOURITE_LOAD_3:
        CFavouriteFile::Load(CLast::Manage(), FavouriteOf(command), true);
        break;
    case ID_LOAD_LAST_EXIT:
        CFavouriteFile::Load(CLast::Manage(), CFavouriteFile::kLastExit, false);
        break;
    case ID_FAVOURITE_SAVE_1:
    case ID_FAVOURITE_SAVE_2:
    case ID_FAVOURITE_SAVE_3:
        CFavouriteFile::Save(CLast::Manage(), FavouriteOf(command), true);
        break;
    case ID_APP_EXIT:
        close();
        break;
    case ID_COMPRESS_MP3:
        CLast::Manage().SetCompressType(COMPRESS_MP3, nullptr);
        break;
    case ID_COMPRESS_WMA:
        CLast::Manage().SetCompressType(COMPRESS_WMA, nullptr);
        break;
    case ID_REFRESH_PIANO:
        CLast::Manage().RefreshMiddle();
        break;
    case ID_HELP_GUIDE:
    case ID_HELP_G:
    case ID_HELP_F:
        CHelpDocument::OnHelp(command);
        break;
    case ID_APP_ABOUT:
        CCantavoApp::OnAppAbout(this);
        break;
    default:
        break;
    }
}

LRESULT CMainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    static const CMessageMap<CMainFrame> map{
        {WM_DATACHANGE, &CMainFrame::OnDataChange},
        {WM_LOADLASTEXIT, &CMainFrame::OnLoadLastExit},
    };
    return map.Dispatch(this, message, wParam, lParam);
}

LRESULT CMainFrame::OnDataChange(WPARAM, LPARAM) {
    if (!CLast::HasManage()) {
        return 0;
    }
    const bool mp3 = CLast::Manage().GetCompressType() == COMPRESS_MP3;
    Action(ID_COMPRESS_MP3)->setChecked(mp3);
    Action(ID_COMPRESS_WMA)->setChecked(!mp3);
    return 0;
}

LRESULT CMainFrame::OnLoadLastExit(WPARAM, LPARAM) {
    if (CLast::HasManage() && !m_terminated) {
        CFavouriteFile::Load(CLast::Manage(), CFavouriteFile::kLastExit, false);
    }
    return 0;
}

LRESULT CMainFrame::OnPowerBroadcast(WPARAM event, LPARAM) {
    return event == PBT_APMQUERYSUSPEND ? BROADCAST_QUERY_DENY : 1;
}

bool CMainFrame::OnSysCommand(UINT command) {
    if ((command & 0xFFF0) == SC_MINIMIZE) {
        if (!m_terminated && CLast::HasManage() &&
            CLast::Manage().WhatAllStop(1, 0) != ERR_VESK_OK) {
            return false;
        }
        m_restoring = true;
        showMinimized();
        m_restoring = false;
    }
    return true;
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || m_restoring || m_terminated) {
        return;
    }
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool minimized = windowState().testFlag(Qt::WindowMinimized);
    if (!minimized || change->oldState().testFlag(Qt::WindowMinimized)) {
        return;
    }
    // The window manager minimized the window before asking; a running take puts it back.
    if (CLast::HasManage() && CLast::Manage().WhatAllStop(1, 0) != ERR_VESK_OK) {
        m_restoring = true;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        m_restoring = false;
    }
}

void CMainFrame::BringForward() {
    if (isMinimized()) {
        m_restoring = true;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        m_restoring = false;
    }
    show();
    raise();
    activateWindow();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        CPlacement().WindowPlacementRegShow(this, kPlacementSection, 1);
        // A stored placement of another size never changes the client area.
        resize(sizeHint());
        KeepOnScreen();
    }
}

void CMainFrame::KeepOnScreen() {
    // A place stored on a monitor that is gone (or written by hand) would open the window
    // where nobody sees it: it then comes up on the nearest screen, as much of it as fits.
    const QRect place = frameGeometry();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(place.topLeft())) {
            return;
        }
    }
    const QScreen* nearest = QGuiApplication::screenAt(place.center());
    if (nearest == nullptr) {
        nearest = QGuiApplication::primaryScreen();
    }
    if (nearest == nullptr) {
        return;
    }
    const QRect area = nearest->availableGeometry();
    const QPoint at(std::clamp(place.left(), area.left(),
                               std::max(area.left(), area.right() + 1 - place.width())),
                    std::clamp(place.top(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - place.height())));
    move(at);
}

void CMainFrame::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    if (!event->spontaneous() && m_placed && !m_terminated) {
        CPlacement().WindowPlacementRegShow(this, kPlacementSection, 0);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (OnClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool CMainFrame::OnClose() {
    if (m_terminated || !CLast::HasManage()) {
        return true;
    }
    const CScorp scope("CMainFrame", "OnClose", CLast::Trace());
    CManage& manage = CLast::Manage();
    if (manage.WhatAllStop(1, 0) != ERR_VESK_OK) {
        CLast::Trace().TraceEnd(0);
        return false;
    }
    // The user may back out of saving a take.
    if (manage.Terminate() != ERR_VESK_OK) {
        CLast::Trace().TraceEnd(0);
        return false;
    }
    m_terminated = true;
    CPlacement().WindowPlacementRegSave(this, kPlacementSection);
    CFavouriteFile::Save(manage, CFavouriteFile::kLastExit, false);
    WaitForCharacter();
    CLast::Trace().TraceEnd(1);
    return true;
}

bool CMainFrame::EndBySignal() {
    // Nobody may be at the screen to answer (the session ends, a service manager stops the
    // program): a box already waiting, or the refusal a running take would show, would hold
    // the end until it is killed, and a take being recorded is written only when it stops.
    if (QApplication::activeModalWidget() != nullptr) {
        return false;
    }
    if (!m_terminated && CLast::HasManage() && CLast::Manage().WhatAllStop(0, 0) != ERR_VESK_OK) {
        return false;
    }
    return close();
}

void CMainFrame::WaitForCharacter() {
    CIconWndSelfish* character = m_view->MetronomeIcon();
    if (character == nullptr || character->WhatClose()) {
        return;
    }
    // Closing is the user's activity: the show ends at its next frame.
    CLast::UpdateAccess();
    QTimer wake;
    wake.start(50);
    QElapsedTimer waited;
    waited.start();
    while (!character->WhatClose() && waited.elapsed() < kCharacterWaitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
