#include "CAboutDlg.h"
#include "CCantavoView.h"
#include "CCheckUSBdev.h"
#include "CFavouriteFile.h"
#include "CHelpDocument.h"
#include "CIconWndSelfish.h"
#include "CLast.h"
#include "CMainFrame.h"
#include "CMessagePresenter.h"
#include "CPlacement.h"
#include "CPromptSoundFile.h"
#include "CTrade.h"
#include "CVeskToy.h"
#include "CWaitDlg.h"
#include "QtPrinters.h"
#include "TestHome.h"
#include "VESK_DATA.h"
#include "WindowRig.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

// The main window on the offscreen platform, against the real engine and the virtual ZQ31.

namespace {

const QString kBusy = QStringLiteral("録音／再生中は、この操作はできません。");

// The frame as the program makes it, remembering the commands that reached it.
class LoggingFrame : public CMainFrame {
public:
    void OnCommand(UINT command) override {
        commands.push_back(command);
        CMainFrame::OnCommand(command);
    }
    std::vector<UINT> commands;
};

// The top-most window of the view at a point, as a click there would find it.
QPoint VisiblePointOf(QWidget* view, QWidget* window) {
    const QRect area =
        window->geometry().translated(window->parentWidget()->mapTo(view, QPoint(0, 0)));
    for (int y = area.top() + 2; y < area.bottom(); y += 3) {
        for (int x = area.left() + 2; x < area.right(); x += 3) {
            if (view->childAt(x, y) == window) {
                return {x, y};
            }
        }
    }
    return {-1, -1};
}

void ClickAt(QWidget* view, QPoint at) {
    QWidget* target = view->childAt(at);
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view, at));
}

class MainWindow : public testing::Test {
protected:
    MainWindow() {
        // Each test starts without favourites and without a stored place.
        for (const QString& name : {CFavouriteFile::kFavourite1, CFavouriteFile::kFavourite2,
                                    CFavouriteFile::kFavourite3, CFavouriteFile::kLastExit}) {
            QFile::remove(CFavouriteFile::Path(name));
        }
        QSettings(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo")).clear();
        CLast::InitTrade(&trade);
        CHelpDocument::SetOpener({});
        CHelpDocument::SetFolders({});
    }
    ~MainWindow() override {
        frame.reset();
        CLast::InitTrade(nullptr);
        CHelpDocument::SetOpener({});
        CHelpDocument::SetFolders({});
    }

    // The main window with its pictures, told the whole state, shown.
    void Open() {
        frame = std::make_unique<LoggingFrame>();
        frame->View()->CreateIcon();
        frame->View()->CreateDialog();
        rig.manage->Refresh();
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        CVeskToy::PumpMessages();
    }

    CTrade trade;
    CWindowRig rig;
    std::unique_ptr<LoggingFrame> frame;
};

TEST_F(MainWindow, ClientAreaIsTheHallAndCannotBeResized) {
    // A placement stored by another size of window moves the window but keeps its size.
    QWidget other;
    other.setGeometry(30, 40, 500, 300);
    CPlacement().WindowPlacementRegSave(&other, CMainFrame::kPlacementSection);
    Open();
    EXPECT_EQ(frame->View()->size(), QSize(792, 526));
    EXPECT_EQ(frame->centralWidget(), frame->View());
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize());
    EXPECT_EQ(frame->View()->geometry().top(), frame->menuBar()->geometry().bottom() + 1);
    EXPECT_EQ(frame->geometry().topLeft(), QPoint(30, 40));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("ZQ31 Concertino"));
    frame->resize(1000, 800);
    EXPECT_EQ(frame->View()->size(), QSize(792, 526));
}

TEST_F(MainWindow, AStoredPlaceOffTheScreensIsBroughtBackIntoView) {
    // A profile from a larger or a removed monitor, or edited by hand: the window must still
    // come up where the user can see it, at its own size.
    for (const QRect stored : {QRect(20000, 15000, 792, 560), QRect(-40000, -30000, 4000, 9000),
                               QRect(2000000000, 5, 100000, 100000)}) {
        SCOPED_TRACE(testing::Message() << stored.x() << "," << stored.y());
        QSettings(QStringLiteral("Tolvarine"), QStringLiteral("Cantavo")).clear();
        QWidget other;
        other.setGeometry(stored);
        CPlacement().WindowPlacementRegSave(&other, CMainFrame::kPlacementSection);
        Open();
        EXPECT_EQ(frame->View()->size(), QSize(792, 526));
        const QRect area = frame->screen()->availableGeometry();
        EXPECT_TRUE(area.contains(frame->geometry().topLeft()))
            << testing::PrintToString(frame->geometry()) << " on " << testing::PrintToString(area);
        EXPECT_TRUE(area.intersects(frame->geometry()))
            << testing::PrintToString(frame->geometry()) << " on " << testing::PrintToString(area);
        frame.reset();
    }
}

TEST_F(MainWindow, PicturesSitWhereTheHallPutsThemAndAreRegistered) {
    frame = std::make_unique<LoggingFrame>();
    CCantavoView* view = frame->View();
    view->CreateIcon();
    // Before the engine places the voices: every picture at its anchor, at its frame 0 size.
    EXPECT_EQ(view->ReverbIcon()->geometry(), QRect(0, 0, 792, 526));
    EXPECT_EQ(view->ReverbIcon()->parentWidget(), view);
    const auto leftBottom = [](QWidget* w) { return QPoint(w->x(), w->y() + w->height()); };
    EXPECT_EQ(leftBottom(view->TimbreIcon()), QPoint(400, 390));
    EXPECT_EQ(leftBottom(view->DualIcon()), QPoint(400, 390));
    EXPECT_EQ(leftBottom(view->StereoIcon()), QPoint(40, 430));
    EXPECT_EQ(leftBottom(view->MetronomeIcon()), QPoint(680, 410));
    EXPECT_EQ(view->StereoIcon()->size(), view->StereoIcon()->Mask().GetAniRect(0).size());
    for (QWidget* icon :
         std::vector<QWidget*>{view->TimbreIcon(), view->DualIcon(), view->StereoIcon(),
                               view->MetronomeIcon(), view->Frosted()}) {
        EXPECT_EQ(icon->parentWidget(), view->ReverbIcon());
    }
    EXPECT_EQ(view->Frosted()->geometry(), view->ReverbIcon()->rect());
    EXPECT_EQ(rig.manage->GetReverbIcon(), view->ReverbIcon());
    EXPECT_EQ(rig.manage->GetTimbreIcon(), view->TimbreIcon());
    EXPECT_EQ(rig.manage->GetDualIcon(), view->DualIcon());
    EXPECT_EQ(rig.manage->GetStereoIcon(), view->StereoIcon());
    EXPECT_EQ(rig.manage->GetMetronomeIcon(), view->MetronomeIcon());
    EXPECT_EQ(rig.manage->GetFrosted(), view->Frosted());
    EXPECT_EQ(rig.manage->GetUserMenu(), frame.get());
    // Clicks go to the view with each picture's message; the palette's are data changes.
    EXPECT_EQ(view->TimbreIcon()->Mask().GetMsg(), 0x424u);
    EXPECT_EQ(view->DualIcon()->Mask().GetMsg(), 0x425u);
    EXPECT_EQ(view->ReverbIcon()->Mask().GetMsg(), 0x426u);
    EXPECT_EQ(view->MetronomeIcon()->Mask().GetMsg(), 0x427u);
    EXPECT_EQ(view->StereoIcon()->Mask().GetMsg(), 0x428u);
    EXPECT_EQ(view->Frosted()->Mask().GetMsg(), 0x416u);
    EXPECT_EQ(view->ReverbIcon()->Mask().GetParent(), view);
    EXPECT_EQ(view->Frosted()->Mask().GetParent(), view);
    EXPECT_EQ(view->ReverbIcon()->Mask().GetRgnFlag(), CBmpMask::RGN_RECT);
    EXPECT_EQ(view->TimbreIcon()->Mask().GetRgnFlag(), CBmpMask::RGN_SHAPED);
    EXPECT_EQ(view->TimbreIcon()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(view->ReverbIcon()->cursor().shape(), Qt::ArrowCursor);
    // The character has its four animations.
    view->MetronomeIcon()->ChangeChar(3);
    EXPECT_EQ(view->MetronomeIcon()->CurrentChar(), 3u);
}

TEST_F(MainWindow, ClickingThePicturesShowsTheirToolWindows) {
    Open();
    CCantavoView* view = frame->View();
    rig.manage->SetDualTimbre(TIM_STRINGS, nullptr);
    CVeskToy::PumpMessages();
    // The tool windows of the program are made hidden; a click on a picture shows its window,
    // and a picture whose window is not part of the program shows nothing and breaks nothing.
    const auto shown = [&](QObject* registered) {
        auto* window = qobject_cast<QWidget*>(registered);
        return window != nullptr && window->isVisible();
    };
    EXPECT_FALSE(shown(rig.manage->GetMetronomeDlg()));
    EXPECT_FALSE(shown(rig.manage->GetReverb()));
    for (QWidget* icon :
         std::vector<QWidget*>{view->TimbreIcon(), view->DualIcon(), view->StereoIcon(),
                               view->MetronomeIcon(), view->ReverbIcon()}) {
        const QPoint at = VisiblePointOf(view, icon);
        ASSERT_NE(at, QPoint(-1, -1));
        ClickAt(view, at);
    }
    EXPECT_TRUE(Eventually([&] { return shown(rig.manage->GetMetronomeDlg()); }));
    EXPECT_TRUE(Eventually([&] { return shown(rig.manage->GetReverb()); }));
    for (QObject* window : {rig.manage->GetConpane(), rig.manage->GetStereo()}) {
        EXPECT_TRUE(window == nullptr || shown(window));
    }

    // Each picture shows the window registered for it.
    QWidget conpane, reverb, metronome, stereo;
    rig.manage->SetConpane(&conpane);
    rig.manage->SetReverb(&reverb);
    rig.manage->SetMetronomeDlg(&metronome);
    rig.manage->SetStereo(&stereo);
    ClickAt(view, VisiblePointOf(view, view->TimbreIcon()));
    EXPECT_TRUE(Eventually([&] { return conpane.isVisible(); }));
    conpane.hide();
    ClickAt(view, VisiblePointOf(view, view->DualIcon()));
    EXPECT_TRUE(Eventually([&] { return conpane.isVisible(); }));
    ClickAt(view, VisiblePointOf(view, view->StereoIcon()));
    EXPECT_TRUE(Eventually([&] { return stereo.isVisible(); }));
    ClickAt(view, VisiblePointOf(view, view->MetronomeIcon()));
    EXPECT_TRUE(Eventually([&] { return metronome.isVisible(); }));
    const QPoint hall = VisiblePointOf(view, view->ReverbIcon());
    ASSERT_NE(hall, QPoint(-1, -1));
    ClickAt(view, hall);
    EXPECT_TRUE(Eventually([&] { return reverb.isVisible(); }));
    for (auto set : {&CDlgCtrl::SetConpane, &CDlgCtrl::SetReverb, &CDlgCtrl::SetMetronomeDlg,
                     &CDlgCtrl::SetStereo}) {
        ((*rig.manage).*set)(nullptr);
    }
}

TEST_F(MainWindow, DataChangesMoveTheCharacterAndTheCheckMarks) {
    Open();
    CCantavoView* view = frame->View();
    // A click on the palette is a data change of the view: the character follows the state,
    // and the palette keeps its new look in the state.
    rig.manage->SetMetroCharType(MET_CHAR_3, nullptr);
    const QPoint palette = VisiblePointOf(view, view->Frosted());
    ASSERT_NE(palette, QPoint(-1, -1));
    ClickAt(view, palette);
    EXPECT_TRUE(Eventually([&] { return view->MetronomeIcon()->CurrentChar() == 2u; }));
    EXPECT_TRUE(Eventually([&] { return rig.manage->GetFrostedStyle() == FROSTED_STYLE_1; }));
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    EXPECT_TRUE(
        Eventually([&] { return frame->Action(CMainFrame::ID_COMPRESS_MP3)->isChecked(); }));
    EXPECT_FALSE(frame->Action(CMainFrame::ID_COMPRESS_WMA)->isChecked());
    rig.manage->SetCompressType(COMPRESS_WMA, nullptr);
    EXPECT_TRUE(
        Eventually([&] { return frame->Action(CMainFrame::ID_COMPRESS_WMA)->isChecked(); }));
    EXPECT_FALSE(frame->Action(CMainFrame::ID_COMPRESS_MP3)->isChecked());
}

TEST_F(MainWindow, EveryMenuItemSendsItsCommand) {
    Open();
    CHelpDocument::SetOpener([](const QUrl&) { return true; });
    const QString help = MakeTestFolder(QStringLiteral("help"));
    QFile guide(help + QStringLiteral("/ZQ31Concertino.pdf"));
    ASSERT_TRUE(guide.open(QIODevice::WriteOnly));
    guide.close();
    CHelpDocument::SetFolders({help});
    for (const QString& name : {CFavouriteFile::kFavourite1, CFavouriteFile::kFavourite2,
                                CFavouriteFile::kFavourite3, CFavouriteFile::kLastExit}) {
        ASSERT_TRUE(CFavouriteFile::Save(*rig.manage, name, true));
    }
    frame->UpdateFavouriteItems();

    const std::vector<UINT> items = {32806, 32808, 32810, 32813, 32807, 32809,
                                     32811, 32790, 32791, 32814, 32815, 57664};
    // The about window runs modally; it is read and closed as soon as it shows.
    QString about;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* window = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            about = window->Text();
            window->accept();
        }
    });
    closer.start(20);
    for (UINT command : items) {
        QAction* action = frame->Action(command);
        ASSERT_NE(action, nullptr) << command;
        action->trigger();
    }
    closer.stop();
    EXPECT_EQ(frame->commands, items);
    EXPECT_TRUE(about.contains(QStringLiteral("VeskSystem"))) << about.toStdString();
    // Nothing had anything to say.
    EXPECT_TRUE(rig.fusion.texts.isEmpty()) << rig.fusion.texts.join(u'|').toStdString();
    ASSERT_NE(frame->Action(CMainFrame::ID_APP_EXIT), nullptr);
    EXPECT_EQ(frame->CommandActions().size(), int(items.size()) + 1);
}

TEST_F(MainWindow, MenuTextsAndPrompts) {
    Open();
    EXPECT_EQ(frame->Action(32806)->text(), QStringLiteral("お気に入り設定１(&1)"));
    EXPECT_EQ(frame->Action(32806)->statusTip(), QStringLiteral("設定の読込"));
    EXPECT_EQ(frame->Action(32809)->statusTip(), QStringLiteral("設定の保存"));
    EXPECT_EQ(frame->Action(32813)->statusTip(), QStringLiteral("設定を前回終了時の設定にする"));
    EXPECT_EQ(frame->Action(32814)->statusTip(), QStringLiteral("ZQ31本体に最新の情報を送信"));
    EXPECT_EQ(frame->Action(32814)->toolTip(), QStringLiteral("ZQ31本体に最新の情報を送信する"));
    EXPECT_EQ(frame->Action(57665)->text(), QStringLiteral("アプリケーションの終了(&X)"));
    EXPECT_EQ(frame->Action(32791)->text(), QStringLiteral("Windows Media 形式(&W)"));
    EXPECT_EQ(frame->Action(32815)->text(), QStringLiteral("ZQ31 Concertino の使い方(&H)"));
    const QStringList menus = [&] {
        QStringList texts;
        for (QAction* action : frame->menuBar()->actions()) {
            texts << action->text();
        }
        return texts;
    }();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("ファイル(&F)"), QStringLiteral("設定(&O)"),
                                  QStringLiteral("ヘルプ(&H)")}));
}

TEST_F(MainWindow, LoadItemsFollowTheFilesEachTimeTheMenuOpens) {
    Open();
    QAction* second = frame->Action(CMainFrame::ID_FAVOURITE_LOAD_2);
    auto* menu = qobject_cast<QMenu*>(second->associatedObjects().value(0));
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    EXPECT_FALSE(second->isEnabled());
    EXPECT_FALSE(frame->Action(CMainFrame::ID_LOAD_LAST_EXIT)->isEnabled());
    // Saving favourite 2 through the menu makes it loadable the next time the menu opens.
    frame->Action(CMainFrame::ID_FAVOURITE_SAVE_2)->trigger();
    emit menu->aboutToShow();
    EXPECT_TRUE(second->isEnabled());
    EXPECT_FALSE(frame->Action(CMainFrame::ID_FAVOURITE_LOAD_1)->isEnabled());
    QFile::remove(CFavouriteFile::Path(CFavouriteFile::kFavourite2));
    emit menu->aboutToShow();
    EXPECT_FALSE(second->isEnabled());
}

TEST_F(MainWindow, FavouritesAndTheLastExitSettingsComeBack) {
    Open();
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    frame->OnCommand(CMainFrame::ID_FAVOURITE_SAVE_3);
    rig.manage->SetCompressType(COMPRESS_WMA, nullptr);
    frame->OnCommand(CMainFrame::ID_FAVOURITE_LOAD_3);
    EXPECT_EQ(rig.manage->GetCompressType(), COMPRESS_MP3);
    // A missing favourite is reported when chosen from the menu, and never at 0x423.
    frame->OnCommand(CMainFrame::ID_FAVOURITE_LOAD_1);
    EXPECT_EQ(rig.fusion.texts.value(0), QStringLiteral("予期せぬエラーが発生しました。(23)"));
    CWinMsg::PostMessage(frame.get(), CMainFrame::WM_LOADLASTEXIT, 0, 0);
    CVeskToy::PumpMessages();
    EXPECT_EQ(rig.fusion.texts.size(), 1);

    ASSERT_TRUE(CFavouriteFile::Save(*rig.manage, CFavouriteFile::kLastExit, true));
    rig.manage->SetCompressType(COMPRESS_WMA, nullptr);
    CWinMsg::PostMessage(frame.get(), CMainFrame::WM_LOADLASTEXIT, 0, 0);
    EXPECT_TRUE(Eventually([&] { return rig.manage->GetCompressType() == COMPRESS_MP3; }));
}

TEST_F(MainWindow, ARunningTakeKeepsTheWindowOpenAndUnminimized) {
    Open();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    ASSERT_EQ(rig.manage->SeqRec(), 0);
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(rig.fusion.texts.value(0), kBusy);
    EXPECT_FALSE(QFile::exists(CFavouriteFile::Path(CFavouriteFile::kLastExit)));
    EXPECT_FALSE(frame->OnSysCommand(CMainFrame::SC_MINIMIZE));
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(rig.fusion.texts.size(), 2);
    EXPECT_EQ(rig.fusion.texts.value(1), kBusy);
    // Other system commands are never asked about.
    EXPECT_TRUE(frame->OnSysCommand(0xF060));
    EXPECT_EQ(rig.fusion.texts.size(), 2);
    rig.StopAll();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->HasTerminated());
}

TEST_F(MainWindow, AnOrderlyCloseEndsTheEngineAndKeepsTheSettings) {
    Open();
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    frame->move(55, 66);
    const QPoint place = frame->geometry().topLeft();
    QFile::remove(CFavouriteFile::Path(CFavouriteFile::kLastExit));
    frame->Action(CMainFrame::ID_APP_EXIT)->trigger();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(frame->HasTerminated());
    EXPECT_FALSE(rig.manage->IsInitialized());
    EXPECT_TRUE(rig.fusion.texts.isEmpty()) << rig.fusion.texts.join(u'|').toStdString();
    ASSERT_TRUE(QFile::exists(CFavouriteFile::Path(CFavouriteFile::kLastExit)));
    rig.manage->SetCompressType(COMPRESS_WMA, nullptr);
    ASSERT_TRUE(CFavouriteFile::Load(*rig.manage, CFavouriteFile::kLastExit, true));
    EXPECT_EQ(rig.manage->GetCompressType(), COMPRESS_MP3);
    // The place is kept for the next start.
    QWidget next;
    ASSERT_TRUE(CPlacement().WindowPlacementRegLoad(&next, CMainFrame::kPlacementSection));
    EXPECT_EQ(next.geometry().topLeft(), place);
}

TEST_F(MainWindow, ThePaletteLookOfTheLastExitComesBackButNotThePianoSettings) {
    rig.manage->SetFrostedStyle(FROSTED_STYLE_2);
    rig.manage->SetDefTimbre(TIM_STRINGS, nullptr);
    ASSERT_TRUE(CFavouriteFile::Save(*rig.manage, CFavouriteFile::kLastExit, true));
    rig.manage->SetFrostedStyle(FROSTED_STYLE_DEFAULT);
    rig.manage->SetDefTimbre(TIM_GRANDPIANO, nullptr);

    frame = std::make_unique<LoggingFrame>();
    frame->View()->RestorePaletteLook();
    EXPECT_EQ(rig.manage->GetFrostedStyle(), FROSTED_STYLE_2);
    EXPECT_EQ(rig.manage->GetDefTimbre(), TIM_GRANDPIANO);

    // A damaged file changes nothing.
    QFile file(CFavouriteFile::Path(CFavouriteFile::kLastExit));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(VESK_DATA::kSize, '\xFF'));
    file.close();
    rig.manage->SetFrostedStyle(FROSTED_STYLE_1);
    frame->View()->RestorePaletteLook();
    EXPECT_EQ(rig.manage->GetFrostedStyle(), FROSTED_STYLE_1);
}

TEST_F(MainWindow, UnsavedTakeAnsweredWithCancelKeepsTheWindow) {
    Open();
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    ASSERT_EQ(rig.manage->SeqRec(), 0);
    rig.piano->PressKey(60, 100);
    ASSERT_EQ(rig.manage->SeqStop(), 0);
    rig.midi.answer = 0; // back out of the save question
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->HasTerminated());
    EXPECT_FALSE(QFile::exists(CFavouriteFile::Path(CFavouriteFile::kLastExit)));
}

// The program's own takes, which ask before an unsaved take goes.
class ClosingWithATake : public testing::Test {
protected:
    ClosingWithATake() {
        QFile::remove(CFavouriteFile::Path(CFavouriteFile::kLastExit));
        CLast::InitTrade(&trade);
        frame = std::make_unique<CMainFrame>();
        frame->show();
    }
    ~ClosingWithATake() override {
        frame.reset();
        rig.StopAll();
        CLast::InitTrade(nullptr);
    }

    // An unsaved MIDI take in the temporary folder.
    QString RecordTake() {
        EXPECT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
        EXPECT_EQ(rig.manage->SeqRec(), 0);
        rig.piano->PressKey(60, 100);
        rig.piano->ReleaseKey(60);
        EXPECT_EQ(rig.manage->SeqStop(), 0);
        EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
        return midi.GetFileName();
    }

    CTrade trade;
    CPromptSoundFile midi{QStringLiteral(".mid")};
    CPromptSoundFile audio{QStringLiteral(".wav")};
    CWindowRig rig{&midi, &audio};
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(ClosingWithATake, OnlyAnAnsweredNoDiscardsTheTake) {
    const QString take = RecordTake();
    ASSERT_TRUE(QFile::exists(take)) << take.toStdString();
    // A question whose box is ended without an answer (the program is being ended by a
    // signal, which ends every modal loop) is no No: the take stays and so does the window.
    rig.fusion.Answer(0);
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(rig.fusion.texts.size(), 1);
    EXPECT_TRUE(QFile::exists(take));
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_FALSE(frame->HasTerminated());
    EXPECT_FALSE(QFile::exists(CFavouriteFile::Path(CFavouriteFile::kLastExit)));

    // Answered No, the take goes and the window closes.
    rig.fusion.Answer(IDNO);
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(QFile::exists(take));
    EXPECT_TRUE(frame->HasTerminated());
    EXPECT_TRUE(QFile::exists(CFavouriteFile::Path(CFavouriteFile::kLastExit)));
}

TEST_F(ClosingWithATake, AnEndSignalNeverWaitsForAUserAndKeepsTheTake) {
    // During a recording: no box that nobody may be there to click; the caller ends the
    // program, whose end stops the take and keeps it unsaved.
    ASSERT_TRUE(Eventually([] { return CCheckUSBdev::LastStatus() == ZQ31_Connected; }));
    ASSERT_EQ(rig.manage->SeqRec(), 0);
    rig.piano->PressKey(60, 100);
    rig.piano->ReleaseKey(60);
    EXPECT_FALSE(frame->EndBySignal());
    EXPECT_TRUE(rig.fusion.texts.isEmpty()) << rig.fusion.texts.join(u'|').toStdString();
    EXPECT_TRUE(frame->isVisible());
    rig.fusion.Answer(0); // the program's boxes end unanswered once its loops are ended
    EXPECT_NE(rig.manage->Terminate(), ERR_VESK_OK);
    EXPECT_EQ(midi.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_TRUE(QFile::exists(midi.GetFileName()));

    // While a box waits for its answer, the same.
    bool closed = true;
    QDialog box(frame.get());
    box.setModal(true);
    QTimer::singleShot(0, &box, [&] {
        closed = frame->EndBySignal();
        box.reject();
    });
    box.exec();
    EXPECT_FALSE(closed);
    EXPECT_FALSE(frame->HasTerminated());
}

TEST_F(ClosingWithATake, AnEndSignalWithNothingToAskClosesTheOrderlyWay) {
    EXPECT_TRUE(frame->EndBySignal());
    EXPECT_TRUE(frame->HasTerminated());
    EXPECT_TRUE(QFile::exists(CFavouriteFile::Path(CFavouriteFile::kLastExit)));
}

TEST(UnattendedEnd, NoBoxWaitsAndAQuestionIsNeitherYesNorNo) {
    // After an end signal the program's end asks its questions again; nobody answers them.
    CMessagePresenter& presenter = CMessagePresenter::Install();
    presenter.SetUnattended(true);
    bool boxShown = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            boxShown = true;
            box->done(IDYES);
        }
    });
    const int answer = presenter.ShowMessage(QStringLiteral("現在の録音内容を保存しますか？"),
                                             MB_YESNO, QStringLiteral("メッセージ"));
    EXPECT_EQ(presenter.ShowMessage(QStringLiteral("x"), MB_OK, {}), IDOK);
    QCoreApplication::processEvents();
    presenter.SetUnattended(false);
    CLast::InitFusion(nullptr);
    EXPECT_FALSE(boxShown);
    EXPECT_NE(answer, IDYES);
    EXPECT_NE(answer, IDNO);
}

TEST(PowerBroadcast, ASuspendQueryIsRefusedEverythingElseAccepted) {
    EXPECT_EQ(CMainFrame::OnPowerBroadcast(0, 0), 0x424D5144);
    for (WPARAM event : {4u, 7u, 10u, 18u}) {
        EXPECT_EQ(CMainFrame::OnPowerBroadcast(event, 0), 1);
    }
}

} // namespace
