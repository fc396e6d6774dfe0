#include "CCantavoApp.h"
#include "CCantavoView.h"
#include "CIconWndSelfish.h"
#include "CLast.h"
#include "CMainFrame.h"
#include "CTrade.h"
#include "CVeskToy.h"
#include "TestHome.h"
#include "WindowRig.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

// The program's window on a real X server: what the screen shows, and the program started
// twice. Run by scripts/xvfb-test.sh on a server of its own.

namespace {

bool OnX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

#define NEEDS_X11()                                                                                \
    if (!OnX11()) {                                                                                \
        GTEST_SKIP() << "needs an X server: run through scripts/xvfb-test.sh with xvfb-run "       \
                        "installed (platform here: "                                               \
                     << QGuiApplication::platformName().toStdString() << ")";                      \
    }

// The hall with the pictures on it, drawn from the pictures the windows show, without the
// palette: what the screen must show outside the palette.
QImage ExpectedLayout(CCantavoView* view) {
    QImage expected(view->size(), QImage::Format_RGB32);
    QPainter painter(&expected);
    painter.drawImage(QRect(QPoint(0, 0), view->size()), view->ReverbIcon()->GetBitmap());
    for (CIconWnd* icon : std::vector<CIconWnd*>{view->StereoIcon(), view->MetronomeIcon(),
                                                 view->DualIcon(), view->TimbreIcon()}) {
        if (!icon->isVisible()) {
            continue;
        }
        painter.save();
        painter.setClipRegion(icon->mask().translated(icon->pos()));
        painter.drawImage(icon->geometry(), icon->GetBitmap());
        painter.restore();
    }
    return expected;
}

// The share of pixels outside `skip` whose colour differs by more than `tolerance` in a
// channel.
double DifferingShare(const QImage& a, const QImage& b, const QRegion& skip, int tolerance) {
    int differing = 0;
    int compared = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (skip.contains(QPoint(x, y))) {
                continue;
            }
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            ++compared;
            if (std::abs(qRed(p) - qRed(q)) > tolerance ||
                std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance) {
                ++differing;
            }
        }
    }
    return compared == 0 ? 1.0 : double(differing) / compared;
}

TEST(ProgramWindow, ScreenShowsTheHallWithEveryPictureInItsPlace) {
    NEEDS_X11();
    CCantavoApp::SetApplicationFont();
    CTrade trade;
    CLast::InitTrade(&trade);
    {
        CWindowRig rig;
        rig.manage->SetDualTimbre(TIM_STRINGS, nullptr);
        CMainFrame frame;
        frame.View()->CreateIcon();
        frame.View()->CreateDialog();
        rig.manage->Refresh();
        frame.move(40, 30);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        CCantavoView* view = frame.View();
        // Every picture is placed by the engine now; the screen shows them there.
        ASSERT_TRUE(Eventually([&] { return view->DualIcon()->isVisible(); }));
        CVeskToy::PumpMessages();
        QTest::qWait(0);
        EXPECT_EQ(view->size(), QSize(792, 526));
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPoint origin = view->mapToGlobal(QPoint(0, 0));
        QImage shown;
        ASSERT_TRUE(Eventually([&] {
            shown = screen->grabWindow(0, origin.x(), origin.y(), 792, 526)
                        .toImage()
                        .convertToFormat(QImage::Format_RGB32);
            return DifferingShare(shown, ExpectedLayout(view), view->Frosted()->mask(), 24) < 0.01;
        })) << DifferingShare(shown, ExpectedLayout(view), view->Frosted()->mask(), 24);
        // The palette lies over the hall where its outline is.
        EXPECT_GT(DifferingShare(shown, ExpectedLayout(view),
                                 QRegion(view->rect()) - view->Frosted()->mask(), 24),
                  0.5);
        const QRect whole(frame.mapToGlobal(QPoint(0, 0)), frame.size());
        const QImage window =
            screen->grabWindow(0, whole.x(), whole.y(), whole.width(), whole.height()).toImage();
        const QString file =
            QCoreApplication::applicationDirPath() + QStringLiteral("/main-window.png");
        EXPECT_TRUE(window.save(file)) << file.toStdString();
        frame.View()->MetronomeIcon()->ChangeChar(0);
    }
    CLast::InitTrade(nullptr);
}

// The real program, started on this X server with the virtual ZQ31 in a program folder.
class Program {
public:
    explicit Program(const QString& home) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CANTAVO_HOME"), home);
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { output += process.readAllStandardOutput(); });
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/Cantavo"),
                      {QStringLiteral("--virtual-piano")});
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool Finished() {
        output += process.readAllStandardOutput();
        return process.state() == QProcess::NotRunning;
    }

    QProcess process;
    QByteArray output;
};

TEST(ProgramWindow, ASecondStartBringsTheFirstForwardAndEnds) {
    NEEDS_X11();
    const QString home = MakeTestFolder(QStringLiteral("twice"));
    Program first(home);
    ASSERT_TRUE(Eventually([&] { return first.output.contains("ZQ31:"); }))
        << first.output.toStdString();
    Program second(home);
    ASSERT_TRUE(Eventually([&] { return second.Finished(); }));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    EXPECT_TRUE(second.output.contains("already runs")) << second.output.toStdString();
    EXPECT_TRUE(Eventually([&] { return first.output.contains("Raised by a later start."); }));

    // Asked to end, the first closes the orderly way and keeps the settings of the moment.
    first.process.terminate();
    ASSERT_TRUE(Eventually([&] { return first.Finished(); }));
    EXPECT_EQ(first.process.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/loadSetting.mdf")));
}

// How a start without a window ended: its exit code and what it said.
struct Ending {
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray said;
};

// The program started with the display settings given and nothing else of the test's own:
// DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM only where settings names them.
Ending StartWith(const QString& home, const std::vector<std::pair<QString, QString>>& settings,
                 const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CANTAVO_HOME"), home);
    environment.insert(QStringLiteral("CANTAVO_SOUNDFONT"), QStringLiteral("none"));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    for (const auto& [name, value] : settings) {
        environment.insert(name, value);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/Cantavo"),
                  QStringList{QStringLiteral("--virtual-piano")} + arguments);
    Ending ending;
    if (process.waitForFinished(60000)) {
        ending.status = process.exitStatus();
        ending.code = process.exitCode();
    } else {
        process.kill();
        process.waitForFinished();
    }
    ending.said = process.readAllStandardError();
    return ending;
}

// Ended by its own decision with 1, saying why, and leaving no folder or lock behind.
void ExpectToldAndEnded(const Ending& ending, const char* why, const QString& home) {
    EXPECT_EQ(ending.status, QProcess::NormalExit);
    EXPECT_EQ(ending.code, 1);
    EXPECT_TRUE(ending.said.contains(why)) << ending.said.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home));
}

const QString kDisplay = QStringLiteral("DISPLAY");
const QString kPlatform = QStringLiteral("QT_QPA_PLATFORM");
// A display nobody answers at.
const QString kDeadDisplay = QStringLiteral(":65000");

// Started from a console or a remote shell, or with a display nobody answers at, the program
// says why it shows nothing (Qt alone would abort).
TEST(ProgramWindow, WithoutADisplayItSaysSoAndEnds) {
    const QString home = MakeTestFolder(QStringLiteral("nodisplay")) + QStringLiteral("/home");
    ExpectToldAndEnded(StartWith(home, {}, {}), "no display", home);
    ExpectToldAndEnded(StartWith(home, {{kDisplay, kDeadDisplay}}, {}), "cannot be reached", home);
}

// A platform or an X display named on the command line, as Qt takes them (with one dash or
// two), is what the window is shown on; the environment's display does not matter then.
TEST(ProgramWindow, ADisplayNamedOnTheCommandLineIsTheOneUsed) {
    const QString folder = MakeTestFolder(QStringLiteral("nameddisplay"));
    const QString server = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    struct Case {
        QStringList arguments;
        bool needsServer;
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("-platform"), QStringLiteral("offscreen")}, false},
        {{QStringLiteral("--platform"), QStringLiteral("offscreen")}, false},
        {{QStringLiteral("-display"), server}, true},
        {{QStringLiteral("--display"), server}, true},
    };
    int run = 0;
    for (const Case& named : cases) {
        SCOPED_TRACE(named.arguments.join(QLatin1Char(' ')).toStdString());
        if (named.needsServer && (!OnX11() || server.isEmpty())) {
            continue;
        }
        const Ending ending =
            StartWith(folder + QStringLiteral("/home%1").arg(run++), {{kDisplay, kDeadDisplay}},
                      QStringList{QStringLiteral("--exit-after-start")} + named.arguments);
        EXPECT_EQ(ending.status, QProcess::NormalExit);
        EXPECT_EQ(ending.code, 0) << ending.said.toStdString();
    }
}

// A screen number the server does not have connects all the same; Qt would abort on it.
TEST(ProgramWindow, AScreenTheDisplayLacksIsToldAndEnds) {
    NEEDS_X11();
    const QByteArray server = qgetenv("DISPLAY");
    ASSERT_FALSE(server.isEmpty());
    const QString home = MakeTestFolder(QStringLiteral("noscreen")) + QStringLiteral("/home");
    // The test's server has a single screen; a host part is cut off, the screen set anew.
    const QString display = QString::fromLocal8Bit(server).section(QLatin1Char('.'), 0, 0);
    ExpectToldAndEnded(StartWith(home, {{kDisplay, display + QStringLiteral(".7")}}, {}),
                       "has no such screen", home);
}

// X named as the platform, on the command line or in QT_QPA_PLATFORM, is checked like the X
// display Qt would have chosen itself: Qt aborts on it all the same.
TEST(ProgramWindow, XNamedAsThePlatformIsCheckedToo) {
    const QString folder = MakeTestFolder(QStringLiteral("namedx"));
    const QString xcb = QStringLiteral("xcb");
    struct Case {
        std::vector<std::pair<QString, QString>> settings;
        QStringList arguments;
        const char* said;
    };
    const std::vector<Case> cases = {
        {{{kPlatform, xcb}}, {}, "no X display"},
        {{{kPlatform, xcb}, {kDisplay, kDeadDisplay}}, {}, "cannot be reached"},
        {{}, {QStringLiteral("-platform"), xcb}, "no X display"},
        {{{kPlatform, QStringLiteral("offscreen")}, {kDisplay, kDeadDisplay}},
         {QStringLiteral("--platform"), QStringLiteral("xcb:nograb")},
         "cannot be reached"},
    };
    int run = 0;
    for (const Case& named : cases) {
        SCOPED_TRACE(run);
        const QString home = folder + QStringLiteral("/home%1").arg(run++);
        ExpectToldAndEnded(StartWith(home, named.settings, named.arguments), named.said, home);
    }
}

} // namespace
