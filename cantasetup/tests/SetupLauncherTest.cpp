#include "CSetupLauncher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const char* const kDebian12 =
    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
    "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\nID=debian\n";
const char* const kDebian11 = "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"11\"\nID=debian\n";

// What the user saw, and the answers given through the real message boxes.
struct Seen {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// The launcher with its message boxes as they are, answered by clicking their buttons; only
// the hand-over to the desktop is recorded instead of done.
class AnsweredLauncher : public CSetupLauncher {
public:
    AnsweredLauncher(const char* osRelease, const char* libc, QMessageBox::StandardButton answer)
        : CSetupLauncher(CSystemCheck(QString::fromUtf8(osRelease), QString::fromLatin1(libc))),
          m_answer(answer) {}

    int RunAnswering() {
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            Seen seen{box->windowTitle(), box->text(), box->icon(), {}};
            for (QAbstractButton* button : box->buttons()) {
                seen.buttons << QString::number(box->standardButton(button));
            }
            shown.push_back(seen);
            QAbstractButton* choice = box->button(m_answer);
            if (choice == nullptr) {
                choice = box->buttons().front();
            }
            choice->click();
        });
        answerer.start(10);
        return Run();
    }

    std::vector<Seen> shown;
    QStringList opened;

protected:
    void Open(const QString& path) override { opened << path; }

private:
    QMessageBox::StandardButton m_answer;
};

QString Buttons(std::initializer_list<QMessageBox::StandardButton> list) {
    QStringList out;
    for (QMessageBox::StandardButton b : list) {
        out << QString::number(b);
    }
    return out.join(QLatin1Char(','));
}

} // namespace

TEST(SystemCheck, AcceptsDebian12AndNewerAndDebianBasedSystemsWithANewEnoughLibc) {
    EXPECT_TRUE(CSystemCheck(QString::fromUtf8(kDebian12), QStringLiteral("2.36")).IsNewEnough());
    EXPECT_TRUE(CSystemCheck(QStringLiteral("ID=debian\nVERSION_ID=13\n"), QStringLiteral("2.41"))
                    .IsNewEnough());
    // Testing and unstable have no version number: the C library decides.
    EXPECT_TRUE(CSystemCheck(QStringLiteral("ID=debian\n"), QStringLiteral("2.40")).IsNewEnough());
    EXPECT_TRUE(CSystemCheck(QStringLiteral("ID=ubuntu\nID_LIKE=debian\nVERSION_ID=\"24.04\"\n"),
                             QStringLiteral("2.39"))
                    .IsNewEnough());
    EXPECT_TRUE(CSystemCheck(QStringLiteral("ID=linuxmint\nID_LIKE='ubuntu debian'\n"),
                             QStringLiteral("2.39"))
                    .IsNewEnough());
}

TEST(SystemCheck, RefusesOlderSystemsAndSystemsWithoutDpkg) {
    EXPECT_FALSE(CSystemCheck(QString::fromUtf8(kDebian11), QStringLiteral("2.31")).IsNewEnough());
    // Debian's own number wins over a C library built elsewhere.
    EXPECT_FALSE(CSystemCheck(QString::fromUtf8(kDebian11), QStringLiteral("2.40")).IsNewEnough());
    EXPECT_FALSE(CSystemCheck(QStringLiteral("ID=ubuntu\nID_LIKE=debian\nVERSION_ID=\"22.04\"\n"),
                              QStringLiteral("2.35"))
                     .IsNewEnough());
    EXPECT_FALSE(CSystemCheck(QStringLiteral("ID=fedora\nVERSION_ID=40\n"), QStringLiteral("2.39"))
                     .IsNewEnough());
    // Nothing known about the system: too old.
    EXPECT_FALSE(CSystemCheck(QString(), QString()).IsNewEnough());
    EXPECT_FALSE(
        CSystemCheck(QStringLiteral("ID=debian\n"), QStringLiteral("garbage")).IsNewEnough());
    EXPECT_EQ(CSystemCheck(QString::fromUtf8(kDebian12), QStringLiteral("2.36")).Describe(),
              QStringLiteral("debian 12, glibc 2.36"));
}

TEST(SetupLauncher, OnAnOldSystemShowsOnlyTheErrorAndEndsWithZero) {
    AnsweredLauncher launcher(kDebian11, "2.31", QMessageBox::Ok);
    EXPECT_EQ(launcher.RunAnswering(), 0);
    ASSERT_EQ(launcher.shown.size(), 1u);
    EXPECT_EQ(launcher.shown[0].caption, QStringLiteral("ZQ31 Concertinoインストーラー"));
    EXPECT_EQ(launcher.shown[0].text,
              QStringLiteral("このバージョンのLinuxにはインストールできません"));
    EXPECT_EQ(launcher.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(launcher.shown[0].buttons.join(QLatin1Char(',')), Buttons({QMessageBox::Ok}));
    EXPECT_TRUE(launcher.opened.isEmpty());
}

TEST(SetupLauncher, AnsweringNoStartsNothing) {
    AnsweredLauncher launcher(kDebian12, "2.36", QMessageBox::No);
    EXPECT_EQ(launcher.RunAnswering(), 0);
    ASSERT_EQ(launcher.shown.size(), 1u);
    EXPECT_EQ(launcher.shown[0].text, QStringLiteral("ZQ31 Concertinoをインストールします。"));
    EXPECT_EQ(launcher.shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(launcher.shown[0].buttons.join(QLatin1Char(',')),
              Buttons({QMessageBox::Yes, QMessageBox::No}));
    EXPECT_TRUE(launcher.opened.isEmpty());
}

TEST(SetupLauncher, AnsweringYesHandsThePackageOverAndSaysSoEvenWhenItIsMissing) {
    AnsweredLauncher launcher(kDebian12, "2.36", QMessageBox::Yes);
    ASSERT_FALSE(QFileInfo::exists(CSetupLauncher::PackageFile()));
    EXPECT_EQ(launcher.RunAnswering(), 0);
    ASSERT_EQ(launcher.shown.size(), 2u);
    EXPECT_EQ(launcher.shown[1].text, CSetupLauncher::StartedText());
    EXPECT_EQ(launcher.shown[1].icon, QMessageBox::Information);
    ASSERT_EQ(launcher.opened.size(), 1);
    EXPECT_EQ(launcher.opened[0], QDir::current().absoluteFilePath(CSetupLauncher::PackageFile()));
    // The name the package build gives its file.
    EXPECT_TRUE(CSetupLauncher::PackageFile().startsWith(QStringLiteral("cantavo_")));
    EXPECT_TRUE(CSetupLauncher::PackageFile().endsWith(QStringLiteral(".deb")));
}

TEST(SystemCheck, ReadsOsReleaseFilesAsTheyComeInTheWild) {
    // Windows line ends, comments, blank lines, single quotes, point releases.
    EXPECT_TRUE(CSystemCheck(QStringLiteral("# made by hand\r\n\r\nID='debian'\r\n"
                                            "VERSION_ID=\"12.5\"\r\n"),
                             QStringLiteral("2.36"))
                    .IsNewEnough());
    // Testing carries no number: the C library decides, also one with a suffix.
    const QString sid = QStringLiteral("ID=debian\nVERSION_ID=\"trixie/sid\"\n");
    EXPECT_TRUE(CSystemCheck(sid, QStringLiteral("2.41.9000")).IsNewEnough());
    EXPECT_FALSE(CSystemCheck(sid, QStringLiteral("2.31")).IsNewEnough());
    // A system without ID or without a version is judged by what it says, never crashes.
    EXPECT_FALSE(
        CSystemCheck(QStringLiteral("VERSION_ID=12\n"), QStringLiteral("2.36")).IsNewEnough());
    EXPECT_TRUE(CSystemCheck(QStringLiteral("ID=debian\n"), QStringLiteral("2.36")).IsNewEnough());
}

TEST(SetupLauncher, WithoutADesktopToShowOnItSaysHowToInstallAndEndsWithZero) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // An X display that is not there: Qt cannot start its windows.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/Cantasetup"));
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                    .contains(QStringLiteral("apt install ./") + CSetupLauncher::PackageFile()));
}
