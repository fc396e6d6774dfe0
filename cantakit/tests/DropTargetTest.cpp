#include "COleDropTargetEx.h"
#include "CVeskToy.h"
#include "TestHome.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

std::unique_ptr<QMimeData> Files(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

// A drop target configured as the album's MIDI list: MIDI files from anywhere but the album.
class DropTarget : public testing::Test {
protected:
    void SetUp() override {
        album = MakeTestFolder(QStringLiteral("Data"));
        elsewhere = MakeTestFolder(QStringLiteral("Desktop"));
        target.SetExt(QStringLiteral(".mid"));
        target.SetExt(QStringLiteral(".wav"));
        target.SetDir(album);
    }
    QString album;
    QString elsewhere;
    COleDropTargetEx target;
};

} // namespace

TEST_F(DropTarget, AcceptsListedExtensionsInAnyCaseFromOrdinaryFolders) {
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/song.mid"}).get()), Qt::CopyAction);
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/SONG.MID", elsewhere + "/take.Wav"}).get()),
              Qt::CopyAction);
}

TEST_F(DropTarget, RefusesUnknownExtensionsAndMixedLists) {
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/notes.txt"}).get()), Qt::IgnoreAction);
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/noextension"}).get()), Qt::IgnoreAction);
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/archive.mid.gz"}).get()), Qt::IgnoreAction);
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/a.mid", elsewhere + "/b.txt"}).get()),
              Qt::IgnoreAction);
}

TEST_F(DropTarget, RefusesWhatIsNotAListOfLocalFiles) {
    QMimeData text;
    text.setText(QStringLiteral("/tmp/song.mid"));
    EXPECT_EQ(target.OnDragOver(&text), Qt::IgnoreAction);
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/song.mid"))});
    EXPECT_EQ(target.OnDragOver(&remote), Qt::IgnoreAction);
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(elsewhere + "/a.mid"),
                   QUrl(QStringLiteral("https://example.org/song.mid"))});
    EXPECT_EQ(target.OnDragOver(&mixed), Qt::IgnoreAction);
    // A file on another host: its path is no path of this machine.
    QMimeData otherHost;
    otherHost.setUrls({QUrl(QStringLiteral("file://example.org/song.mid"))});
    QStringList paths;
    EXPECT_FALSE(COleDropTargetEx::FileList(&otherHost, paths));
    EXPECT_EQ(target.OnDragOver(&otherHost), Qt::IgnoreAction);
    EXPECT_EQ(target.OnDragOver(nullptr), Qt::IgnoreAction);
    QMimeData empty;
    empty.setUrls({});
    EXPECT_EQ(target.OnDragOver(&empty), Qt::IgnoreAction);
}

TEST_F(DropTarget, GuardedFolderTakesOnlyItsOwnExtensions) {
    // A MIDI file of the album itself is refused however the folder is spelt.
    EXPECT_EQ(target.OnDragOver(Files({album + "/song.mid"}).get()), Qt::IgnoreAction);
    EXPECT_EQ(target.OnDragOver(Files({album + "/./song.mid"}).get()), Qt::IgnoreAction);
    EXPECT_EQ(target.OnDragOver(Files({album + "/../Data/song.mid"}).get()), Qt::IgnoreAction);
    QFile::remove(TestHome() + "/album-link");
    ASSERT_TRUE(QFile::link(album, TestHome() + "/album-link"));
    EXPECT_EQ(target.OnDragOver(Files({TestHome() + "/album-link/song.mid"}).get()),
              Qt::IgnoreAction);
    // A link elsewhere to a file of the album is that file of the album.
    QFile song(album + "/song.mid");
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.close();
    QFile::remove(elsewhere + "/linked.mid");
    ASSERT_TRUE(QFile::link(album + "/song.mid", elsewhere + "/linked.mid"));
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/linked.mid"}).get()), Qt::IgnoreAction);
    QFile::remove(elsewhere + "/linked.wav");
    ASSERT_TRUE(QFile::link(album + "/song.mid", elsewhere + "/linked.wav"));
    target.SetUnconditionalExt(QStringLiteral(".WAV"));
    EXPECT_EQ(target.OnDragOver(Files({elsewhere + "/linked.wav"}).get()), Qt::IgnoreAction)
        << "a link named as a sound file does not pass the album's MIDI file off as one";
    // A folder below the album is not the album.
    EXPECT_EQ(target.OnDragOver(Files({album + "/old/song.mid"}).get()), Qt::CopyAction);

    EXPECT_EQ(target.OnDragOver(Files({album + "/take.wav"}).get()), Qt::CopyAction);
    EXPECT_EQ(target.OnDragOver(Files({album + "/take.wav", album + "/song.mid"}).get()),
              Qt::IgnoreAction);
}

TEST_F(DropTarget, EmptyListOfExtensionsAcceptsNothing) {
    COleDropTargetEx bare;
    EXPECT_EQ(bare.OnDragOver(Files({elsewhere + "/song.mid"}).get()), Qt::IgnoreAction);
}

TEST_F(DropTarget, WindowAcceptsTheDragAndHandsTheDropOn) {
    QWidget window;
    window.resize(100, 100);
    ASSERT_TRUE(target.Register(&window));
    EXPECT_FALSE(target.Register(&window));
    EXPECT_TRUE(window.acceptDrops());
    QStringList dropped;
    target.SetDropHandler([&](const QStringList& paths) { dropped = paths; });

    const auto good = Files({elsewhere + "/a.mid", elsewhere + "/b.wav"});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, good.get(),
                          Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, good.get(), Qt::LeftButton,
                    {});
    QApplication::sendEvent(&window, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(dropped, (QStringList{elsewhere + "/a.mid", elsewhere + "/b.wav"}));

    dropped.clear();
    const auto bad = Files({album + "/a.mid"});
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, bad.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&window, &refused);
    EXPECT_FALSE(refused.isAccepted());
    QDropEvent forced(QPointF(10, 10), Qt::CopyAction, bad.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&window, &forced);
    EXPECT_FALSE(forced.isAccepted());
    EXPECT_TRUE(dropped.isEmpty()) << "a drop that would have been refused hands nothing on";

    // A drag that offers no copy is not taken.
    QDragEnterEvent moveOnly(QPoint(10, 10), Qt::MoveAction, good.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&window, &moveOnly);
    EXPECT_FALSE(moveOnly.isAccepted());
}

TEST_F(DropTarget, HandlerMayDeleteTheTargetThatCalledIt) {
    // A window that closes on a drop takes its drop target with it, from inside the handler.
    QWidget window;
    window.resize(100, 100);
    auto* own = new COleDropTargetEx;
    own->SetExt(QStringLiteral(".mid"));
    ASSERT_TRUE(own->Register(&window));
    auto received = std::make_shared<QStringList>();
    const QString note = QStringLiteral("handled after the target is gone");
    own->SetDropHandler([own, received, note](const QStringList& paths) {
        delete own;
        // What the handler holds must outlive the target that held the handler.
        *received = paths;
        received->append(note);
    });
    const auto good = Files({elsewhere + "/a.mid"});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, good.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, good.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(*received, (QStringList{elsewhere + "/a.mid", note}));
}
