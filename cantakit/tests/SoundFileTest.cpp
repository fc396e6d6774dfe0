#include "CSoundFile.h"
#include "CVeskToy.h"
#include "QtPrinters.h"
#include "RecordingFusion.h"
#include "TestHome.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace {

// A take whose save decision the test scripts.
class CScriptedTake : public CSoundFile {
public:
    explicit CScriptedTake(const QString& extension) : CSoundFile(extension) {}

    int Save(const QString& target) { return SaveFile(target); }

    std::function<int(CScriptedTake&, int)> hook = [](CScriptedTake& take, int) {
        return take.GetFileFlag() == MODIFIED_CLEAN ? 1 : 0;
    };
    int hookCalls = 0;

protected:
    int OnSaveFileDefine(int ask) override {
        ++hookCalls;
        return hook(*this, ask);
    }
};

void Write(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SoundFile : public testing::Test {
protected:
    // A take with content in the temporary folder, unsaved.
    void Record(CScriptedTake& take, const QByteArray& content) {
        const QString name = take.MakeFileName();
        ASSERT_FALSE(name.isEmpty());
        Write(name, content);
    }

    CRecordingFusion presenter;
    const CVeskToy toy;
};

} // namespace

TEST_F(SoundFile, ConstructionMakesTheAlbumAndTemporaryFolders) {
    const CScriptedTake take(QStringLiteral(".mid"));
    EXPECT_TRUE(QDir(toy.DataPath()).exists());
    EXPECT_TRUE(QDir(toy.TempPath()).exists());
    EXPECT_EQ(take.GetSoundStatus(), SOUND_STOP);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_CLEAN);
    EXPECT_TRUE(take.GetFileName().isEmpty());
    EXPECT_TRUE(presenter.texts.isEmpty());
}

TEST_F(SoundFile, FoldersThatCannotBeMadeAreReported) {
    Write(TestHome() + QStringLiteral("/blocker"), "x");
    const QByteArray saved = qgetenv("CANTAVO_HOME");
    qputenv("CANTAVO_HOME", QFile::encodeName(TestHome() + QStringLiteral("/blocker")));
    const CScriptedTake take(QStringLiteral(".wav"));
    qputenv("CANTAVO_HOME", saved);
    EXPECT_EQ(presenter.texts,
              QStringList(2, QStringLiteral("予期せぬエラーが発生しました。(21)")));
    EXPECT_EQ(presenter.captions.first(), QStringLiteral("メッセージ"));
    EXPECT_EQ(presenter.styles.first(), MB_OK);
}

TEST_F(SoundFile, AFreshTakeIsNamedAfterItsStartAndCountsAsUnsaved) {
    CScriptedTake take(QStringLiteral(".wav"));
    const QDateTime start(QDate(2001, 6, 15), QTime(14, 30, 12));
    EXPECT_EQ(take.FileNameAt(start), toy.TempFile(QStringLiteral("20010615_143012.wav")));

    const QString name = take.MakeFileName();
    EXPECT_TRUE(QRegularExpression(
                    QRegularExpression::anchoredPattern(QRegularExpression::escape(toy.TempPath()) +
                                                        QStringLiteral("/\\d{8}_\\d{6}\\.wav")))
                    .match(name)
                    .hasMatch())
        << name.toStdString();
    EXPECT_EQ(take.GetFileName(), name);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_DIRTY);
}

TEST_F(SoundFile, BackingOutOfSavingKeepsThePreviousTake) {
    CScriptedTake take(QStringLiteral(".mid"));
    Record(take, "first");
    const QString first = take.GetFileName();
    take.hook = [](CScriptedTake&, int) { return 0; };
    EXPECT_TRUE(take.MakeFileName().isEmpty());
    EXPECT_EQ(take.GetFileName(), first);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_EQ(Read(first), QByteArray("first"));
}

TEST_F(SoundFile, ExistenceOfTheTake) {
    CScriptedTake take(QStringLiteral(".mid"));
    EXPECT_EQ(take.IsExist(), 1);
    Record(take, "take");
    EXPECT_EQ(take.IsExist(), 1);
    QFile::remove(take.GetFileName());
    EXPECT_EQ(take.IsExist(), 0);
    EXPECT_TRUE(take.GetFileName().isEmpty());
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_CLEAN);
}

TEST_F(SoundFile, ChoosingAFileOffersToSaveFirst) {
    CScriptedTake take(QStringLiteral(".mid"));
    const QString album = toy.DataFile(QStringLiteral("song.mid"));
    Write(album, "song");
    EXPECT_EQ(take.SetFileName(album), 1);
    EXPECT_EQ(take.hookCalls, 1);
    EXPECT_EQ(take.GetFileName(), album);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_CLEAN);

    EXPECT_EQ(take.SetFileName(toy.DataFile(QStringLiteral("gone.mid"))), 0);
    EXPECT_TRUE(take.GetFileName().isEmpty());
    EXPECT_EQ(take.SetFileName(toy.DataPath()), 0);
}

TEST_F(SoundFile, SavingMovesTheTakeIntoTheAlbum) {
    CScriptedTake take(QStringLiteral(".wav"));
    Record(take, "audio");
    const QString temporary = take.GetFileName();
    const QString target = toy.DataFile(QStringLiteral("録音.wav"));
    EXPECT_EQ(take.Save(target), 1);
    EXPECT_EQ(take.GetFileName(), target);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_CLEAN);
    EXPECT_FALSE(QFile::exists(temporary));
    EXPECT_EQ(Read(target), QByteArray("audio"));
    EXPECT_TRUE(presenter.texts.isEmpty());
}

TEST_F(SoundFile, ReplacingAnExistingFileAnsweredNoChangesNothing) {
    CScriptedTake take(QStringLiteral(".wav"));
    Record(take, "new");
    const QString temporary = take.GetFileName();
    const QString target = toy.DataFile(QStringLiteral("old.wav"));
    Write(target, "old");
    presenter.Answer(IDNO);
    EXPECT_EQ(take.Save(target), 0);
    EXPECT_EQ(
        presenter.texts.last(),
        QStringLiteral("既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"));
    EXPECT_EQ(presenter.styles.last(), MB_YESNO);
    EXPECT_EQ(Read(target), QByteArray("old"));
    EXPECT_EQ(Read(temporary), QByteArray("new"));
    EXPECT_EQ(take.GetFileName(), temporary);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_DIRTY);
}

TEST_F(SoundFile, ReplacingAnExistingFileAnsweredYesReplacesIt) {
    CScriptedTake take(QStringLiteral(".wav"));
    Record(take, "new");
    const QString target = toy.DataFile(QStringLiteral("old.wav"));
    Write(target, "old");
    presenter.Answer(IDYES);
    EXPECT_EQ(take.Save(target), 1);
    EXPECT_EQ(Read(target), QByteArray("new"));
    EXPECT_EQ(take.GetFileName(), target);
}

// Whatever stands at the target counts as existing, whether this user can read it or not:
// without a yes it is never replaced, and the take stays where it was.
TEST_F(SoundFile, WhatCannotBeReadAtTheTargetIsStillAskedAbout) {
    CScriptedTake take(QStringLiteral(".wav"));
    Record(take, "new");
    const QString temporary = take.GetFileName();

    const QString link = toy.DataFile(QStringLiteral("dangling.wav"));
    ASSERT_TRUE(QFile::link(toy.DataFile(QStringLiteral("nowhere.wav")), link));
    const QString locked = toy.DataFile(QStringLiteral("locked.wav"));
    Write(locked, "someone else's");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));

    for (const QString& target : {link, locked}) {
        presenter.texts.clear();
        presenter.Answer(IDNO);
        EXPECT_EQ(take.Save(target), 0) << target.toStdString();
        EXPECT_EQ(presenter.texts.value(0), QStringLiteral("既に同じ名前のファイルがあります。\r\n"
                                                           "上書き保存してもよろしいですか？"));
        EXPECT_EQ(take.GetFileName(), temporary);
        EXPECT_EQ(Read(temporary), QByteArray("new"));
    }
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), toy.DataFile(QStringLiteral("nowhere.wav")));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(Read(locked), QByteArray("someone else's"));
}

TEST_F(SoundFile, BackingOutWhenChoosingAFileKeepsTheUnsavedTake) {
    CScriptedTake take(QStringLiteral(".mid"));
    Record(take, "unsaved");
    const QString temporary = take.GetFileName();
    const QString album = toy.DataFile(QStringLiteral("other.mid"));
    Write(album, "other");
    take.hook = [](CScriptedTake& self, int) { return self.GetFileFlag() == MODIFIED_CLEAN; };
    EXPECT_EQ(take.SetFileName(album), 0);
    EXPECT_EQ(take.GetFileName(), temporary);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_EQ(Read(temporary), QByteArray("unsaved"));
}

TEST_F(SoundFile, AFolderInTheWayIsNotReplaced) {
    CScriptedTake take(QStringLiteral(".wav"));
    Record(take, "new");
    const QString target = toy.DataFile(QStringLiteral("folder.wav"));
    QDir().mkpath(target + QStringLiteral("/inner"));
    presenter.Answer(IDYES);
    EXPECT_EQ(take.Save(target), 0);
    EXPECT_TRUE(QDir(target + QStringLiteral("/inner")).exists());
    EXPECT_EQ(Read(take.GetFileName()), QByteArray("new"));
}

TEST_F(SoundFile, AFailedMoveKeepsTheTakeWhereItWas) {
    CScriptedTake take(QStringLiteral(".mid"));
    Record(take, "keep me");
    const QString temporary = take.GetFileName();
    EXPECT_EQ(take.Save(toy.DataFile(QStringLiteral("missing-folder/a.mid"))), 0);
    ASSERT_EQ(presenter.texts.size(), 1);
    EXPECT_EQ(presenter.texts.first(), QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(take.GetFileName(), temporary);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_EQ(Read(temporary), QByteArray("keep me"));
}

TEST_F(SoundFile, SavingWithoutANameAsksForOne) {
    CScriptedTake take(QStringLiteral(".mid"));
    Record(take, "x");
    EXPECT_EQ(take.Save(QString()), 0);
    EXPECT_EQ(presenter.texts, QStringList{QStringLiteral("file name ?")});
}

TEST_F(SoundFile, DeletingClearsTheRecordEvenWhenTheFileIsGone) {
    CScriptedTake take(QStringLiteral(".mid"));
    EXPECT_EQ(take.DeleteFileA(), 0);

    Record(take, "x");
    const QString name = take.GetFileName();
    EXPECT_EQ(take.DeleteFileA(), 1);
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_TRUE(take.GetFileName().isEmpty());
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_CLEAN);

    Record(take, "y");
    QFile::remove(take.GetFileName());
    EXPECT_EQ(take.DeleteFileA(), 1);
    EXPECT_TRUE(take.GetFileName().isEmpty());
    EXPECT_TRUE(presenter.texts.isEmpty());
}

// A take on another file system is copied beside the target before it is renamed into place.
// Nothing the user keeps in the album may be touched on the way without a question: neither a
// file that happens to be called like the hidden copy, nor the file a link of that name points
// to.
TEST_F(SoundFile, SavingAcrossFileSystemsLeavesFilesNamedLikeTheCopyAlone) {
    QDir shm(QStringLiteral("/dev/shm"));
    if (!shm.exists()) {
        GTEST_SKIP() << "no /dev/shm";
    }
    const QString elsewhere =
        QStringLiteral("/dev/shm/cantavo-take-%1").arg(QCoreApplication::applicationPid());
    QDir(elsewhere).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString source = elsewhere + QStringLiteral("/take.mid");
    Write(source, "the take");

    CScriptedTake take(QStringLiteral(".mid"));
    ASSERT_EQ(take.SetFileName(source), 1);

    // A file of the user's that is called like the copy.
    const QString target = toy.DataFile(QStringLiteral("across.mid"));
    QFile::remove(target);
    Write(target + QStringLiteral(".partial"), "the user's own file");
    EXPECT_EQ(take.Save(target), 1);
    EXPECT_EQ(Read(target), QByteArray("the take"));
    EXPECT_EQ(Read(target + QStringLiteral(".partial")), QByteArray("the user's own file"));

    // A link of that name to a file elsewhere: that file must stay as it was.
    Write(source, "the second take");
    ASSERT_EQ(take.SetFileName(source), 1);
    const QString victim = TestHome() + QStringLiteral("/letter.txt");
    Write(victim, "a letter");
    const QString second = toy.DataFile(QStringLiteral("across-second.mid"));
    QFile::remove(second);
    QFile::remove(second + QStringLiteral(".partial"));
    ASSERT_TRUE(QFile::link(victim, second + QStringLiteral(".partial")));
    EXPECT_EQ(take.Save(second), 1);
    EXPECT_EQ(Read(second), QByteArray("the second take"));
    EXPECT_EQ(Read(victim), QByteArray("a letter"));
    EXPECT_FALSE(QFileInfo(second).isSymLink());
    QDir(elsewhere).removeRecursively();
}

// A take that does not fit the album's file system: the save fails with the system's text,
// the take stays whole where it was, and no partial copy is left behind. Needs a small
// file system named by CANTAVO_TEST_SMALL_FOLDER (for example a 64 KiB tmpfs).
TEST_F(SoundFile, ATakeThatDoesNotFitTheAlbumStaysWhereItWas) {
    const QString small = qEnvironmentVariable("CANTAVO_TEST_SMALL_FOLDER");
    if (small.isEmpty()) {
        GTEST_SKIP() << "CANTAVO_TEST_SMALL_FOLDER is not set";
    }
    CScriptedTake take(QStringLiteral(".wav"));
    Record(take, QByteArray(512 * 1024, 'a'));
    const QString temporary = take.GetFileName();
    const QString target = small + QStringLiteral("/big.wav");
    QFile::remove(target);
    EXPECT_EQ(take.Save(target), 0);
    EXPECT_EQ(presenter.texts, QStringList{QString::fromLocal8Bit(std::strerror(ENOSPC))});
    EXPECT_EQ(take.GetFileName(), temporary);
    EXPECT_EQ(take.GetFileFlag(), MODIFIED_DIRTY);
    EXPECT_EQ(Read(temporary).size(), 512 * 1024);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}
