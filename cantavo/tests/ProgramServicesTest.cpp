#include "CHelpDocument.h"
#include "CSingleInstance.h"
#include "CSleepInhibitor.h"
#include "EngineDoubles.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "TestHome.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <thread>

// What the program does beside its windows: help documents, one program per program folder,
// and the inhibitor that keeps the computer awake.

namespace {

const QString kNoViewer = QStringLiteral("ヘルプを読むには、インストール手順に従い、\r\nAdobe "
                                         "Acrobat Reader をセットアップしてください。");

class Help : public testing::Test {
protected:
    Help() : folder(MakeTestFolder(QStringLiteral("help"))) {
        CHelpDocument::SetFolders({MakeTestFolder(QStringLiteral("elsewhere")), folder});
        CHelpDocument::SetOpener([this](const QUrl& url) {
            opened.append(url);
            return viewer;
        });
    }
    ~Help() override {
        CHelpDocument::SetOpener({});
        CHelpDocument::SetFolders({});
    }
    void Ship(const QString& name) {
        QFile file(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\n");
    }

    CRecordingFusion fusion;
    QString folder;
    QList<QUrl> opened;
    bool viewer = true;
};

TEST_F(Help, EachCommandOpensItsDocumentFromTheFirstFolderThatHasIt) {
    Ship(QStringLiteral("ZQ31Concertino.pdf"));
    Ship(QStringLiteral("ZQ31Concertino_G.pdf"));
    Ship(QStringLiteral("ZQ31Concertino_F.pdf"));
    CHelpDocument::OnHelp(32815);
    CHelpDocument::OnHelp(32816);
    CHelpDocument::OnHelp(32817);
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(folder + QStringLiteral("/ZQ31Concertino.pdf")));
    EXPECT_EQ(opened[1].fileName(), QStringLiteral("ZQ31Concertino_G.pdf"));
    EXPECT_EQ(opened[2].fileName(), QStringLiteral("ZQ31Concertino_F.pdf"));
    EXPECT_TRUE(fusion.texts.isEmpty()) << fusion.texts.join(u'|').toStdString();
}

TEST_F(Help, AMissingDocumentAndAMissingViewerHaveTheirMessages) {
    CHelpDocument::OnHelp(32815);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(fusion.texts.value(0), QStringLiteral("予期せぬエラーが発生しました。(25)"));
    EXPECT_EQ(fusion.captions.value(0), QStringLiteral("メッセージ"));
    EXPECT_EQ(fusion.styles.value(0), 0u);
    Ship(QStringLiteral("ZQ31Concertino.pdf"));
    viewer = false;
    CHelpDocument::OnHelp(32815);
    EXPECT_EQ(fusion.texts.value(1), kNoViewer);
}

TEST(HelpMessages, EveryShellResultHasItsMessage) {
    const std::vector<std::pair<int, int>> numbered = {{0, 24},  {8, 24},  {2, 25},  {3, 26},
                                                       {11, 27}, {26, 33}, {27, 28}, {28, 31},
                                                       {29, 30}, {30, 29}, {32, 32}};
    for (const auto& [result, place] : numbered) {
        EXPECT_EQ(CHelpDocument::Message(result),
                  QStringLiteral("予期せぬエラーが発生しました。(%1)").arg(place))
            << result;
    }
    EXPECT_EQ(CHelpDocument::Message(5), kNoViewer);
    EXPECT_EQ(CHelpDocument::Message(31), kNoViewer);
    for (int silent : {1, 4, 12, 25, 33, 42}) {
        EXPECT_TRUE(CHelpDocument::Message(silent).isEmpty()) << silent;
    }
}

TEST(SingleInstance, ALockLeftByACrashedRunNeverBlocks) {
    // The real program, killed while it runs, leaves its lock file behind.
    const QString home = MakeTestFolder(QStringLiteral("crashed"));
    QProcess crashed;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CANTAVO_HOME"), home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    crashed.setProcessEnvironment(environment);
    QByteArray output;
    QObject::connect(&crashed, &QProcess::readyReadStandardOutput,
                     [&] { output += crashed.readAllStandardOutput(); });
    crashed.start(QCoreApplication::applicationDirPath() + QStringLiteral("/Cantavo"),
                  {QStringLiteral("--virtual-piano")});
    ASSERT_TRUE(crashed.waitForStarted());
    ASSERT_TRUE(Eventually([&] { return output.contains("ZQ31:"); })) << output.toStdString();
    CSingleInstance probe(home);
    EXPECT_EQ(probe.Acquire(), CSingleInstance::Claim::RaisedOther);
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished());
    ASSERT_TRUE(QFile::exists(probe.LockPath()));

    CSingleInstance next(home);
    EXPECT_EQ(next.Acquire(), CSingleInstance::Claim::First);
}

TEST(SingleInstance, ALaterStartAsksTheFirstToComeForward) {
    const QString folder = MakeTestFolder(QStringLiteral("twice"));
    CSingleInstance first(folder);
    std::atomic<int> raised{0};
    first.SetRaiseHandler([&] { ++raised; });
    ASSERT_EQ(first.Acquire(), CSingleInstance::Claim::First);
    // Another folder is another program: both run.
    CSingleInstance elsewhere(MakeTestFolder(QStringLiteral("elsewhere")));
    EXPECT_EQ(elsewhere.Acquire(), CSingleInstance::Claim::First);

    std::atomic<int> claim{-1};
    std::thread later([&] {
        CSingleInstance second(folder);
        claim = static_cast<int>(second.Acquire());
    });
    EXPECT_TRUE(Eventually([&] { return raised == 1 && claim != -1; }));
    later.join();
    EXPECT_EQ(claim, static_cast<int>(CSingleInstance::Claim::RaisedOther));
}

TEST(SingleInstance, AFirstThatDoesNotAnswerIsNeverReportedAsRaised) {
    // The first holds the lock and listens, but hangs: its thread never reads the request.
    const QString folder = MakeTestFolder(QStringLiteral("hung"));
    CSingleInstance first(folder);
    bool raised = false;
    first.SetRaiseHandler([&] { raised = true; });
    ASSERT_EQ(first.Acquire(), CSingleInstance::Claim::First);
    CSingleInstance second(folder);
    second.SetAnswerTime(300);
    EXPECT_EQ(second.Acquire(), CSingleInstance::Claim::OtherSilent);

    // A holder of the lock that is still starting, its socket not yet made, is waited for.
    const QString starting = MakeTestFolder(QStringLiteral("starting"));
    QLockFile held(CSingleInstance(starting).LockPath());
    ASSERT_TRUE(held.tryLock(0));
    std::atomic<bool> asking{false};
    std::atomic<int> claim{-1};
    std::thread later([&] {
        CSingleInstance third(starting);
        asking = true;
        claim = static_cast<int>(third.Acquire());
    });
    ASSERT_TRUE(Eventually([&] { return asking.load(); }));
    QLocalServer server;
    ASSERT_TRUE(server.listen(CSingleInstance(starting).ServerName()));
    QByteArray request;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead, [&request, socket] {
            request += socket->readAll();
            if (request.endsWith('\n')) {
                socket->disconnectFromServer();
            }
        });
    });
    EXPECT_TRUE(Eventually([&] { return claim != -1; }));
    later.join();
    EXPECT_EQ(claim, static_cast<int>(CSingleInstance::Claim::RaisedOther));
    EXPECT_EQ(request, "raise\n");
}

TEST(SleepInhibitor, HoldsABlockingSleepInhibitorWhileItLives) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        GTEST_SKIP() << "no system bus here: the program runs without a sleep inhibitor";
    }
    const auto listed = [&] {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors"));
        const QDBusMessage reply = bus.call(call);
        int mine = 0;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            return -1;
        }
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> uid >> pid;
            list.endStructure();
            if (what.contains(QStringLiteral("sleep")) && who == CSleepInhibitor::kWho &&
                mode == QStringLiteral("block") && why == CSleepInhibitor::kWhy) {
                ++mine;
            }
        }
        list.endArray();
        return mine;
    };
    if (listed() < 0) {
        GTEST_SKIP() << "no logind on the system bus: the program runs without an inhibitor";
    }
    const int before = listed();
    {
        CSleepInhibitor inhibitor;
        if (!inhibitor.Acquire()) {
            GTEST_SKIP() << "logind refused the inhibitor: " << inhibitor.Reason().toStdString();
        }
        EXPECT_EQ(listed(), before + 1);
    }
    EXPECT_TRUE(Eventually([&] { return listed() == before; }));
}

TEST(SleepInhibitor, WithoutLogindTheReasonIsKept) {
    CSleepInhibitor inhibitor;
    if (inhibitor.Acquire()) {
        EXPECT_TRUE(inhibitor.IsHeld());
        EXPECT_TRUE(inhibitor.Reason().isEmpty());
    } else {
        EXPECT_FALSE(inhibitor.IsHeld());
        EXPECT_FALSE(inhibitor.Reason().isEmpty());
    }
}

} // namespace
