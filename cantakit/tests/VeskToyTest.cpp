#include "CExtentOS.h"
#include "CVeskException.h"
#include "CVeskToy.h"
#include "QtPrinters.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

} // namespace

TEST(Folders, AllLieBelowTheProgramFolder) {
    const CVeskToy toy;
    EXPECT_EQ(toy.GenuinePath(), TestHome());
    EXPECT_EQ(toy.GenuineFile(QStringLiteral("fav1.mdf")),
              TestHome() + QStringLiteral("/fav1.mdf"));
    EXPECT_EQ(toy.DataFile(QStringLiteral("a.mid")), TestHome() + QStringLiteral("/Data/a.mid"));
    EXPECT_EQ(toy.TempFile(QStringLiteral("b.wav")), TestHome() + QStringLiteral("/Temp/b.wav"));
}

TEST(Folders, WithoutAHomeTheUsersDataFolderIsUsed) {
    const QByteArray saved = qgetenv("CANTAVO_HOME");
    qunsetenv("CANTAVO_HOME");
    const QString path = CVeskToy().GenuinePath();
    qputenv("CANTAVO_HOME", saved);
    EXPECT_TRUE(path.endsWith(QStringLiteral("/Tolvarine/Cantavo"))) << path.toStdString();
}

// The program changes its current directory; a relative home must keep naming the folder it
// named when the program started.
TEST(Folders, ARelativeHomeStaysWhereItWasFirstSeen) {
    const QByteArray saved = qgetenv("CANTAVO_HOME");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(TestHome()));
    qputenv("CANTAVO_HOME", "relative-home");
    const QString first = CVeskToy().GenuinePath();
    QDir().mkpath(TestHome() + QStringLiteral("/elsewhere"));
    QDir::setCurrent(TestHome() + QStringLiteral("/elsewhere"));
    const QString later = CVeskToy().TempPath();
    qputenv("CANTAVO_HOME", saved);
    QDir::setCurrent(before);
    EXPECT_EQ(first, TestHome() + QStringLiteral("/relative-home"));
    EXPECT_EQ(later, first + QStringLiteral("/Temp"));
}

TEST(SearchDir, ListsEverythingSortedWithoutRegardToCase) {
    const QString folder = MakeTestFolder(QStringLiteral("album"));
    Touch(folder + QStringLiteral("/B.wav"));
    Touch(folder + QStringLiteral("/a.mid"));
    Touch(folder + QStringLiteral("/x/c.WAV"));
    std::vector<QString> found{folder + QStringLiteral("/0-already-there")};
    CVeskToy().SearchDir(folder, found);
    const std::vector<QString> expected{
        folder + QStringLiteral("/0-already-there"),
        folder + QStringLiteral("/a.mid"),
        folder + QStringLiteral("/B.wav"),
        folder + QStringLiteral("/x/c.WAV"),
    };
    EXPECT_EQ(found, expected);
    // The search leaves the last folder it entered current.
    EXPECT_EQ(QDir::currentPath(), folder + QStringLiteral("/x"));
}

TEST(SearchDir, ARelativeFolderIsSearchedWhole) {
    const QString folder = MakeTestFolder(QStringLiteral("relative"));
    Touch(folder + QStringLiteral("/in/deep/d.mid"));
    Touch(folder + QStringLiteral("/in/e.mid"));
    QDir::setCurrent(folder);
    std::vector<QString> found;
    CVeskToy().SearchDir(QStringLiteral("in"), found);
    const std::vector<QString> expected{QStringLiteral("in/deep/d.mid"),
                                        QStringLiteral("in/e.mid")};
    EXPECT_EQ(found, expected);
}

TEST(SearchDir, LinksToFoldersAreListedNotFollowed) {
    const QString folder = MakeTestFolder(QStringLiteral("linked"));
    Touch(folder + QStringLiteral("/sub/f.mid"));
    ASSERT_TRUE(QFile::link(folder, folder + QStringLiteral("/sub/loop")));
    std::vector<QString> found;
    CVeskToy().SearchDir(folder, found);
    const std::vector<QString> expected{folder + QStringLiteral("/sub/f.mid"),
                                        folder + QStringLiteral("/sub/loop")};
    EXPECT_EQ(found, expected);
}

TEST(SearchDir, AFolderThatCannotBeEnteredThrowsAndChangesNothing) {
    std::vector<QString> found{QStringLiteral("kept")};
    EXPECT_THROW(CVeskToy().SearchDir(TestHome() + QStringLiteral("/no-such-folder"), found),
                 CVeskException);
    EXPECT_EQ(found, std::vector<QString>{QStringLiteral("kept")});
}

TEST(SearchDir, ASubfolderThatCannotBeEnteredAlsoLeavesTheListAlone) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root enters every folder";
    }
    const QString folder = MakeTestFolder(QStringLiteral("locked"));
    Touch(folder + QStringLiteral("/a.mid"));
    QDir().mkpath(folder + QStringLiteral("/closed"));
    QFile::setPermissions(folder + QStringLiteral("/closed"), QFileDevice::ReadOwner);
    std::vector<QString> found;
    EXPECT_THROW(CVeskToy().SearchDir(folder, found), CVeskException);
    EXPECT_TRUE(found.empty());
    QFile::setPermissions(folder + QStringLiteral("/closed"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(MessagePacking, FourBytesKeepOnlyTheirLowByteExceptTheFirst) {
    unsigned int packed = 0;
    CVeskToy::ConbineWord4Message(1, 511, 3, 4, packed);
    EXPECT_EQ(packed, 0x01FF0304u);
    unsigned int a = 0, b = 0, c = 0, d = 0;
    CVeskToy::DivideWord4Message(a, b, c, d, packed);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 255u);
    EXPECT_EQ(c, 3u);
    EXPECT_EQ(d, 4u);
}

TEST(MessagePacking, TwoHalvesRoundTrip) {
    unsigned int packed = 0;
    CVeskToy::ConbineMessage(20, 0x1FFFF, packed);
    EXPECT_EQ(packed, (20u << 16) | 0xFFFFu);
    unsigned int high = 0, low = 0;
    CVeskToy::DivideMessage(high, low, packed);
    EXPECT_EQ(high, 20u);
    EXPECT_EQ(low, 0xFFFFu);
}

TEST(WaveResource, FoundByModuleAndName) {
    const QByteArray click =
        CVeskToy().GetWaveResource(QStringLiteral("CLICK"), QStringLiteral("cantakit_tests"));
    ASSERT_GE(click.size(), 44);
    EXPECT_TRUE(click.startsWith("RIFF"));
    EXPECT_TRUE(
        CVeskToy().GetWaveResource(QStringLiteral("CLICK"), QStringLiteral("cantacore")).isEmpty());
    EXPECT_TRUE(CVeskToy()
                    .GetWaveResource(QStringLiteral("ACCENT"), QStringLiteral("cantakit_tests"))
                    .isEmpty());
}

TEST(SystemVersion, KernelReleasesParse) {
    long major = 0, minor = 0;
    EXPECT_TRUE(CExtentOS::ParseRelease("6.1.0-27-amd64", major, minor));
    EXPECT_EQ(major, 6);
    EXPECT_EQ(minor, 1);
    EXPECT_FALSE(CExtentOS::ParseRelease("", major, minor));
    EXPECT_FALSE(CExtentOS::ParseRelease("6", major, minor));
    EXPECT_FALSE(CExtentOS::ParseRelease("x.1", major, minor));
    EXPECT_FALSE(CExtentOS::ParseRelease(nullptr, major, minor));
}

TEST(SystemVersion, QuestionsFollowTheRunningKernel) {
    long major = 0, minor = 0;
    ASSERT_TRUE(CExtentOS::ReadVersion(major, minor));
    const CExtentOS os;
    EXPECT_TRUE(os.ISOS(major, minor));
    EXPECT_TRUE(os.ISOS(major, CExtentOS::kAnyMinor));
    EXPECT_FALSE(os.ISOS(major + 1, CExtentOS::kAnyMinor));
    EXPECT_FALSE(os.ISOS(major, minor + 1));
    EXPECT_FALSE(os.ISXP());
    EXPECT_FALSE(os.IS2K());
    EXPECT_FALSE(os.IS9X());
}
