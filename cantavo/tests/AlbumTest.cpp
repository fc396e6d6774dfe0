#include "AlbumSupport.h"
#include "CAlbumDlg.h"
#include "CAlbumList.h"
#include "CIconWndButton.h"
#include "CMemoCodec.h"
#include "COleDropTargetEx.h"
#include "CTextWnd.h"
#include "CVeskToy.h"
#include "CWinMsg.h"
#include "TestHome.h"
#include "WindowRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>
#include <sys/mount.h>

using namespace albumtest;

namespace {

// The engine against a fresh virtual ZQ31, an album folder with one take of each kind (the
// MIDI take's extension in capitals) and a stray text file, and the album over them.
class AlbumTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(album).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(album));
        outside = MakeTestFolder(QStringLiteral("outside"));
        ASSERT_TRUE(WriteFile(album + "/Etude.MID", MidiFile(CMemoCodec::ToFile("朝の練習"))));
        ASSERT_TRUE(WriteFile(album + "/Nocturne.wav", WavFile(1)));
        ASSERT_TRUE(WriteFile(album + "/Prelude.mp3", QByteArray(64, 'x')));
        ASSERT_TRUE(WriteFile(album + "/Waltz.wma", QByteArray(64, 'y')));
        ASSERT_TRUE(WriteFile(album + "/notes.txt", "not a take"));
        dialog = std::make_unique<CAlbumDlg>();
        dialog->show();
        CWinMsg::PumpMessages();
    }
    void TearDown() override {
        dialog.reset();
        CWinMsg::PumpMessages();
    }

    // Selects a row as the mouse would and lets the dialog hear of it.
    void Select(CAlbumList* list, int row) {
        list->SelectRow(row);
        CWinMsg::PumpMessages();
    }
    void Post(UINT message) {
        CWinMsg::PostMessage(dialog.get(), message, 0, 0);
        CWinMsg::PumpMessages();
    }
    QStringList Names(CAlbumList* list) const {
        QStringList names;
        for (int i = 0; i < list->count(); ++i) {
            names << list->item(i)->text();
        }
        return names;
    }
    QStringList Files() const {
        return QDir(album).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // A drop through Qt's drag-and-drop event path: enter, then drop, on the list's viewport.
    // True when the list took the drag.
    bool Drop(CAlbumList* list, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls << QUrl::fromLocalFile(path);
        }
        data.setUrls(urls);
        QWidget* target = list->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction) {
            return false;
        }
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        CWinMsg::PumpMessages();
        return drop.isAccepted();
    }

    CWindowRig rig;
    const QString album = CVeskToy().DataPath();
    QString outside;
    std::unique_ptr<CAlbumDlg> dialog;
};

TEST_F(AlbumTest, ListsEachKindByNameWithExtensionsInAnyCase) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("アルバム"));
    EXPECT_EQ(Names(dialog->MidiList()), QStringList{"Etude"});
    EXPECT_EQ(Names(dialog->AudioList()), QStringList{"Nocturne"});
    EXPECT_EQ(Names(dialog->CompressList()), (QStringList{"Prelude", "Waltz"}));
    EXPECT_EQ(dialog->MidiList()->Paths(), QStringList{album + "/Etude.MID"});
    // Nothing chosen yet: no button to press, no name shown.
    EXPECT_FALSE(dialog->OpenButton()->IsEnabled());
    EXPECT_FALSE(dialog->EncodeButton()->IsEnabled());
    EXPECT_FALSE(dialog->TrashButton()->IsEnabled());
    EXPECT_EQ(dialog->GetSelectRec(), CAlbumDlg::SELECT_NONE);
    SaveShot(dialog.get(), QStringLiteral("album-offscreen.png"));
}

TEST_F(AlbumTest, OneSelectionAcrossTheListsDecidesTheButtons) {
    Select(dialog->MidiList(), 0);
    EXPECT_TRUE(dialog->OpenButton()->IsEnabled());
    EXPECT_FALSE(dialog->EncodeButton()->IsEnabled());
    EXPECT_TRUE(dialog->TrashButton()->IsEnabled());
    EXPECT_EQ(dialog->NameText()->Lines(), QStringList{"Etude.MID"});

    // The audio list takes the selection from the MIDI list, and a WAV can be compressed.
    Select(dialog->AudioList(), 0);
    EXPECT_EQ(dialog->MidiList()->SelectedRow(), -1);
    EXPECT_EQ(dialog->AudioList()->SelectedRow(), 0);
    EXPECT_TRUE(dialog->OpenButton()->IsEnabled());
    EXPECT_TRUE(dialog->EncodeButton()->IsEnabled());
    EXPECT_EQ(dialog->NameText()->Lines(), QStringList{"Nocturne.wav"});

    Select(dialog->CompressList(), 1);
    EXPECT_EQ(dialog->AudioList()->SelectedRow(), -1);
    EXPECT_FALSE(dialog->EncodeButton()->IsEnabled());
    EXPECT_TRUE(dialog->OpenButton()->IsEnabled());
    EXPECT_EQ(dialog->NameText()->Lines(), QStringList{"Waltz.wma"});

    dialog->CompressList()->ClearSelected();
    CWinMsg::PumpMessages();
    EXPECT_FALSE(dialog->OpenButton()->IsEnabled());
    EXPECT_FALSE(dialog->TrashButton()->IsEnabled());
    EXPECT_TRUE(dialog->NameText()->Lines().join(QString()).isEmpty());
}

TEST_F(AlbumTest, TheMouseOverAnItemSelectsIt) {
    CAlbumList* list = dialog->CompressList();
    ASSERT_TRUE(list->TrackSelect()) << "the tests run without \"hotitem\"";
    const QPoint over = list->visualItemRect(list->item(1)).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(over), list->viewport()->mapToGlobal(QPointF(over)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &move);
    CWinMsg::PumpMessages();
    EXPECT_EQ(list->SelectedRow(), 1);
    EXPECT_TRUE(dialog->OpenButton()->IsEnabled());
    EXPECT_EQ(dialog->NameText()->Lines(), QStringList{"Waltz.wma"});
}

TEST_F(AlbumTest, DeletesOnlyAfterYes) {
    Post(CAlbumDlg::WM_ALBUM_TRASH);
    ASSERT_EQ(rig.fusion.texts.size(), 1);
    EXPECT_EQ(rig.fusion.texts.last(), QStringLiteral("予期せぬエラーが発生しました。(17)"));

    Select(dialog->CompressList(), 0);
    rig.fusion.Answer(IDNO);
    Post(CAlbumDlg::WM_ALBUM_TRASH);
    EXPECT_EQ(rig.fusion.texts.last(),
              QStringLiteral("選んだファイルを削除してもよろしいですか？"));
    EXPECT_EQ(rig.fusion.styles.last(), unsigned(MB_YESNO));
    EXPECT_EQ(rig.fusion.captions.last(), QStringLiteral("メッセージ"));
    EXPECT_TRUE(QFileInfo::exists(album + "/Prelude.mp3"));

    rig.fusion.Answer(IDYES);
    Post(CAlbumDlg::WM_ALBUM_TRASH);
    EXPECT_FALSE(QFileInfo::exists(album + "/Prelude.mp3"));
    EXPECT_EQ(Names(dialog->CompressList()), QStringList{"Waltz"});
    EXPECT_FALSE(dialog->TrashButton()->IsEnabled());
}

TEST_F(AlbumTest, OpeningHandsTheTakeToTheManagerAndCloses) {
    // Run as the recorder runs it: modally, the choice read afterwards.
    CAlbumDlg modal;
    QTimer::singleShot(0, &modal, [&] {
        modal.MidiList()->SelectRow(0);
        CWinMsg::PostMessage(&modal, CAlbumDlg::WM_ALBUM_OPEN, 0, 0);
    });
    EXPECT_EQ(modal.exec(), QDialog::Accepted);
    EXPECT_EQ(modal.GetSelectRec(), CAlbumDlg::SELECT_MIDI);
    EXPECT_EQ(rig.midi.GetFileName(), album + "/Etude.MID");

    Select(dialog->AudioList(), 0);
    CWinMsg::PostMessage(dialog.get(), CAlbumDlg::WM_ALBUM_DBLCLK, 0, 0);
    EXPECT_TRUE(Eventually([&] { return !dialog->isVisible(); }));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->GetSelectRec(), CAlbumDlg::SELECT_AUDIO);
    EXPECT_EQ(rig.audio.GetFileName(), album + "/Nocturne.wav");
}

TEST_F(AlbumTest, AVanishedTakeRefreshesTheListsAndStays) {
    const QString before = rig.audio.GetFileName();
    Select(dialog->CompressList(), 1);
    ASSERT_TRUE(QFile::remove(album + "/Waltz.wma"));
    Post(CAlbumDlg::WM_ALBUM_OPEN);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->GetSelectRec(), CAlbumDlg::SELECT_NONE);
    EXPECT_EQ(Names(dialog->CompressList()), QStringList{"Prelude"});
    EXPECT_FALSE(dialog->OpenButton()->IsEnabled());
    EXPECT_EQ(rig.audio.GetFileName(), before);
}

TEST_F(AlbumTest, TheMemoOfAMidiTakeIsItsTooltip) {
    EXPECT_EQ(dialog->MidiList()->ToolTipFor(0), QStringLiteral("朝の練習"));
    // Through the view's own tooltip event, as the mouse rests on the item.
    CAlbumList* list = dialog->MidiList();
    const QRect item = list->visualItemRect(list->item(0));
    QHelpEvent help(QEvent::ToolTip, item.center(), list->viewport()->mapToGlobal(item.center()));
    QCoreApplication::sendEvent(list->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("朝の練習"));

    // A take without memo, and takes of other kinds, have none.
    ASSERT_TRUE(WriteFile(album + "/Bare.mid", MidiFile()));
    dialog->Refresh();
    EXPECT_EQ(Names(dialog->MidiList()), (QStringList{"Bare", "Etude"}));
    EXPECT_TRUE(dialog->MidiList()->ToolTipFor(0).isEmpty());
    EXPECT_TRUE(dialog->AudioList()->ToolTipFor(0).isEmpty());
}

TEST_F(AlbumTest, AnItemDraggedOutIsItsFileUrl) {
    std::unique_ptr<QMimeData> data(dialog->AudioList()->DragData(0));
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(data->hasUrls());
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(album + "/Nocturne.wav")});
    EXPECT_EQ(dialog->AudioList()->DragData(5), nullptr);
}

TEST_F(AlbumTest, ADroppedFileIsImported) {
    const QString take = outside + "/Sonata.mid";
    ASSERT_TRUE(WriteFile(take, MidiFile("Allegro")));
    EXPECT_TRUE(Drop(dialog->MidiList(), {take}));
    EXPECT_EQ(ReadFile(album + "/Sonata.mid"), ReadFile(take));
    EXPECT_EQ(Names(dialog->MidiList()), (QStringList{"Etude", "Sonata"}));
    EXPECT_TRUE(rig.fusion.texts.isEmpty());
    // A WAV dropped on the audio list is copied as it is.
    const QString wav = outside + "/Scale.WAV";
    ASSERT_TRUE(WriteFile(wav, WavFile(1)));
    EXPECT_TRUE(Drop(dialog->AudioList(), {wav}));
    EXPECT_EQ(ReadFile(album + "/Scale.WAV"), ReadFile(wav));
    EXPECT_EQ(Names(dialog->AudioList()), (QStringList{"Nocturne", "Scale"}));
}

TEST_F(AlbumTest, FilesOfTheAlbumAndOfOtherKindsAreLeftAlone) {
    const QStringList before = Files();
    // The album's own file: the list does not even take the drag, and handed over directly
    // it changes nothing either.
    EXPECT_FALSE(Drop(dialog->AudioList(), {album + "/Nocturne.wav"}));
    EXPECT_TRUE(dialog->DropFiles(dialog->AudioList(), {album + "/Nocturne.wav"}) == ERR_VESK_OK);
    // A text file is ignored, silently.
    const QString text = outside + "/readme.txt";
    ASSERT_TRUE(WriteFile(text, "hello"));
    EXPECT_FALSE(Drop(dialog->MidiList(), {text}));
    dialog->DropFiles(dialog->MidiList(), {text});
    EXPECT_EQ(Files(), before);
    EXPECT_TRUE(rig.fusion.texts.isEmpty());
    // In a mixed list the take still comes in and the text file stays out.
    const QString take = outside + "/Minuet.mid";
    ASSERT_TRUE(WriteFile(take, MidiFile()));
    dialog->DropFiles(dialog->MidiList(), {text, take});
    EXPECT_TRUE(QFileInfo::exists(album + "/Minuet.mid"));
    EXPECT_FALSE(QFileInfo::exists(album + "/readme.txt"));
}

TEST_F(AlbumTest, AnExistingNameIsReplacedOnlyAfterYes) {
    const QString take = outside + "/Etude.MID";
    ASSERT_TRUE(WriteFile(take, MidiFile("newer")));
    const QByteArray old = ReadFile(album + "/Etude.MID");
    rig.fusion.Answer(IDNO);
    EXPECT_TRUE(Drop(dialog->MidiList(), {take}));
    ASSERT_EQ(rig.fusion.texts.size(), 1);
    EXPECT_EQ(
        rig.fusion.texts.last(),
        QStringLiteral("既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"));
    EXPECT_EQ(ReadFile(album + "/Etude.MID"), old);

    rig.fusion.Answer(IDYES);
    EXPECT_TRUE(Drop(dialog->MidiList(), {take}));
    EXPECT_EQ(ReadFile(album + "/Etude.MID"), ReadFile(take));
    // No leftovers of the copy beside the takes.
    EXPECT_EQ(Files().filter(".part").size(), 0);
}

TEST_F(AlbumTest, ACopyThatFailsIsToldAndLeavesNothingBehind) {
    // Gone between the drag and the drop.
    const QString take = outside + "/Locked.mid";
    dialog->DropFiles(dialog->MidiList(), {take});
    ASSERT_EQ(rig.fusion.texts.size(), 1);
    EXPECT_FALSE(rig.fusion.texts.last().isEmpty());
    EXPECT_EQ(rig.fusion.styles.last(), unsigned(MB_OK));
    EXPECT_FALSE(QFileInfo::exists(album + "/Locked.mid"));
    EXPECT_EQ(Files().filter(".part").size(), 0);
}

// Compression shows its progress on the album's own bar and the copy appears in the list.
TEST_F(AlbumTest, CompressingAWavMovesTheBarAndListsTheCopy) {
    ASSERT_TRUE(WriteFile(album + "/Concerto.wav", WavFile(20)));
    dialog->Refresh();
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    Select(dialog->AudioList(), 0);
    ASSERT_EQ(dialog->AudioList()->SelectedPath(), album + "/Concerto.wav");

    // Every value the bar takes while shown, however busy the machine is.
    QList<int> seen;
    QProgressBar* const bar = dialog->EncodeProgress();
    const QMetaObject::Connection moves =
        QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
            if (bar->isVisible()) {
                seen << value;
            }
        });
    bool shot = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (bar->isVisible()) {
            if (!shot && bar->value() > bar->maximum() / 4) {
                shot = true;
                SaveShot(dialog.get(), QStringLiteral("album-compressing.png"));
                // Meanwhile the album neither closes nor deletes the WAV being read.
                EXPECT_TRUE(dialog->IsCompressing());
                dialog->reject();
                // Delivered now, while the codec still runs, not after it.
                CWinMsg::PostMessage(dialog.get(), CAlbumDlg::WM_ALBUM_TRASH, 0, 0);
                CWinMsg::PumpMessages();
            }
        }
    });
    watch.start(10);
    rig.fusion.Answer(IDOK);
    Post(CAlbumDlg::WM_ALBUM_ENCODE);
    watch.stop();
    QObject::disconnect(moves);

    EXPECT_EQ(rig.fusion.texts.last(), QStringLiteral("ファイル圧縮が正常に終了しました。"));
    EXPECT_TRUE(shot);
    EXPECT_TRUE(dialog->isVisible());
    CWinMsg::PumpMessages();
    EXPECT_EQ(rig.fusion.texts.size(), 2) << "the compression's question and its outcome only";
    EXPECT_TRUE(QFileInfo::exists(album + "/Concerto.wav"));
    EXPECT_TRUE(QFileInfo::exists(album + "/Concerto.mp3"));
    EXPECT_EQ(Names(dialog->CompressList()), (QStringList{"Concerto", "Prelude", "Waltz"}));
    EXPECT_FALSE(dialog->EncodeProgress()->isVisible());
    // The bar moved forward, never back; how many steps it took depends on the machine's load.
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_GT(seen.last(), 0);
    for (int i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i], seen[i - 1]);
    }
    EXPECT_LT(rig.manage->CompressProgress(), 0.0);
}

TEST_F(AlbumTest, AWavDroppedOnTheCompressedListIsCompressedNotCopied) {
    const QString wav = outside + "/Fugue.wav";
    ASSERT_TRUE(WriteFile(wav, WavFile(1)));
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    rig.fusion.Answer(IDOK);
    EXPECT_TRUE(Drop(dialog->CompressList(), {wav}));
    EXPECT_TRUE(QFileInfo::exists(album + "/Fugue.mp3"));
    EXPECT_FALSE(QFileInfo::exists(album + "/Fugue.wav"));
    EXPECT_EQ(Names(dialog->CompressList()), (QStringList{"Fugue", "Prelude", "Waltz"}));
    EXPECT_EQ(Names(dialog->AudioList()), QStringList{"Nocturne"});
}

// Files from a messy disk: what is not a take is still copied as it is (the album does not
// judge contents), what cannot be copied is told, and nothing half-made is left in the album.
TEST_F(AlbumTest, MessyFilesFromOutsideArriveWholeOrAreTold) {
    const QString notMidi = outside + "/It's \"not\" a MIDI file.mid";
    const QString empty = outside + "/空のテイク.wav";
    const QString newline = outside + "/two\nlines.mid";
    // A backslash is a character of the name here, not a folder's end.
    const QString backslash = outside + "/Tom\\Jerry.mid";
    ASSERT_TRUE(WriteFile(notMidi, "plain text, no MThd"));
    ASSERT_TRUE(WriteFile(backslash, MidiFile("both")));
    ASSERT_TRUE(WriteFile(empty, QByteArray()));
    ASSERT_TRUE(WriteFile(newline, MidiFile("x")));
    // The longest name a folder can hold.
    const QString longName = outside + '/' + QString(251, QLatin1Char('L')) + ".mid";
    ASSERT_TRUE(WriteFile(longName, MidiFile("long")));
    // The same file twice in one drop arrives once, whole.
    dialog->DropFiles(dialog->MidiList(), {notMidi, newline, longName, notMidi, backslash});
    dialog->DropFiles(dialog->AudioList(), {empty});
    EXPECT_EQ(ReadFile(album + "/It's \"not\" a MIDI file.mid"), ReadFile(notMidi));
    EXPECT_EQ(ReadFile(album + "/two\nlines.mid"), ReadFile(newline));
    EXPECT_EQ(ReadFile(album + "/Tom\\Jerry.mid"), ReadFile(backslash));
    EXPECT_FALSE(QFileInfo::exists(album + "/Jerry.mid"));
    EXPECT_EQ(ReadFile(album + '/' + QFileInfo(longName).fileName()), ReadFile(longName));
    EXPECT_TRUE(QFileInfo(album + "/空のテイク.wav").isFile());
    EXPECT_EQ(Names(dialog->AudioList()), (QStringList{"Nocturne", "空のテイク"}));
    EXPECT_TRUE(Names(dialog->MidiList()).contains(QString(251, QLatin1Char('L'))));
    for (const QString& text : rig.fusion.texts) {
        // At most the question about the file dropped twice; no failure.
        EXPECT_EQ(text,
                  QStringLiteral(
                      "既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"));
    }

    // A folder named like a take and a link to nowhere cannot be copied: told, nothing left.
    rig.fusion.texts.clear();
    rig.fusion.styles.clear();
    const QString folder = outside + "/Folder.mid";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString dangling = outside + "/Ghost.wav";
    ASSERT_TRUE(QFile::link(outside + "/nowhere.wav", dangling));
    dialog->DropFiles(dialog->MidiList(), {folder});
    dialog->DropFiles(dialog->AudioList(), {dangling});
    EXPECT_EQ(rig.fusion.texts.size(), 2);
    for (unsigned int style : rig.fusion.styles) {
        EXPECT_EQ(style, unsigned(MB_OK));
    }
    EXPECT_FALSE(QFileInfo::exists(album + "/Folder.mid"));
    EXPECT_FALSE(QFileInfo(album + "/Ghost.wav").isSymLink());
    EXPECT_EQ(Files().filter(".part").size(), 0);

    // A link elsewhere brings in the file it leads to, as a file of the album's own.
    const QString link = outside + "/Linked.mid";
    ASSERT_TRUE(QFile::link(newline, link));
    dialog->DropFiles(dialog->MidiList(), {link});
    EXPECT_FALSE(QFileInfo(album + "/Linked.mid").isSymLink());
    EXPECT_EQ(ReadFile(album + "/Linked.mid"), ReadFile(newline));
}

// Only the album's own file is passed over: a file elsewhere whose path differs from the
// album's only in case is another file on this system, and comes in.
TEST_F(AlbumTest, AFileBesideTheAlbumSpeltLikeItIsImported) {
    const QFileInfo info(album);
    QString name = info.fileName().toUpper();
    if (name == info.fileName()) {
        name = info.fileName().toLower();
    }
    ASSERT_NE(name, info.fileName());
    const QString twin = info.path() + '/' + name;
    ASSERT_TRUE(QDir().mkpath(twin));
    ASSERT_TRUE(WriteFile(twin + "/Rondo.mid", MidiFile("twin")));
    EXPECT_TRUE(Drop(dialog->MidiList(), {twin + "/Rondo.mid"}));
    EXPECT_EQ(ReadFile(album + "/Rondo.mid"), ReadFile(twin + "/Rondo.mid"));
    QDir(twin).removeRecursively();
}

// A drop while a WAV is compressed is not lost: the files come in once the compression is
// over, each of them, also from several drops on one list. Closing waits as well.
TEST_F(AlbumTest, DropsDuringACompressionComeInAfterIt) {
    ASSERT_TRUE(WriteFile(album + "/Concerto.wav", WavFile(2)));
    dialog->Refresh();
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    Select(dialog->AudioList(), 0);
    const QString first = outside + "/First.mid";
    const QString second = outside + "/Second.mid";
    const QString wav = outside + "/Third.wav";
    ASSERT_TRUE(WriteFile(first, MidiFile("1")));
    ASSERT_TRUE(WriteFile(second, MidiFile("2")));
    ASSERT_TRUE(WriteFile(wav, WavFile(1)));

    bool dropped = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!dropped && dialog->IsCompressing()) {
            dropped = true;
            EXPECT_TRUE(Drop(dialog->MidiList(), {first}));
            EXPECT_TRUE(Drop(dialog->MidiList(), {second}));
            EXPECT_TRUE(Drop(dialog->AudioList(), {wav}));
            EXPECT_FALSE(dialog->close());
            EXPECT_FALSE(QFileInfo::exists(album + "/First.mid")) << "not while compressing";
        }
    });
    watch.start(0);
    rig.fusion.Answer(IDOK);
    Post(CAlbumDlg::WM_ALBUM_ENCODE);
    watch.stop();
    ASSERT_TRUE(dropped);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(Eventually([&] {
        return Names(dialog->MidiList()) == QStringList{"Etude", "First", "Second"} &&
               Names(dialog->AudioList()) == QStringList{"Concerto", "Nocturne", "Third"};
    })) << Names(dialog->MidiList()).join(',').toStdString()
        << " / " << Names(dialog->AudioList()).join(',').toStdString() << " / "
        << rig.fusion.texts.join('|').toStdString() << " / " << Files().join(',').toStdString();
    EXPECT_EQ(ReadFile(album + "/Second.mid"), ReadFile(second));
    EXPECT_TRUE(QFileInfo::exists(album + "/Concerto.mp3"));
}

// Compressing onto a name the album holds asks first; No keeps the old file whole. A WAV that
// is really text fails, says so, and leaves no half copy.
TEST_F(AlbumTest, CompressionOntoATakenNameOrFromABrokenWav) {
    ASSERT_TRUE(WriteFile(album + "/Nocturne.mp3", "the older copy"));
    dialog->Refresh();
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    Select(dialog->AudioList(), 0);
    rig.fusion.Answer(IDOK);
    rig.fusion.Answer(IDNO);
    Post(CAlbumDlg::WM_ALBUM_ENCODE);
    ASSERT_EQ(rig.fusion.texts.size(), 2);
    EXPECT_EQ(
        rig.fusion.texts.last(),
        QStringLiteral("既に同じ名前のファイルがあります。\r\n上書き保存してもよろしいですか？"));
    EXPECT_EQ(ReadFile(album + "/Nocturne.mp3"), QByteArray("the older copy"));

    ASSERT_TRUE(WriteFile(album + "/Fake.wav", "RIFF? no, just words"));
    dialog->Refresh();
    Select(dialog->AudioList(), 0);
    ASSERT_EQ(dialog->AudioList()->SelectedPath(), album + "/Fake.wav");
    rig.fusion.Answer(IDOK);
    Post(CAlbumDlg::WM_ALBUM_ENCODE);
    EXPECT_EQ(rig.fusion.texts.last(), QStringLiteral("ファイル圧縮処理でエラーが発生しました。"));
    EXPECT_FALSE(QFileInfo::exists(album + "/Fake.mp3"));
    EXPECT_EQ(Files().filter(".part").size(), 0);
    EXPECT_EQ(Files().filter("Fake").size(), 1);
}

// The tooltip reads whatever lies in the album under a MIDI name without failing: no memo.
TEST_F(AlbumTest, BrokenMidiTakesHaveNoMemo) {
    const QByteArray good = MidiFile(CMemoCodec::ToFile("メモ"));
    ASSERT_TRUE(WriteFile(album + "/A-garbage.mid", QByteArray(300, char(0xFF))));
    ASSERT_TRUE(WriteFile(album + "/B-empty.mid", QByteArray()));
    ASSERT_TRUE(WriteFile(album + "/C-truncated.mid", good.left(good.size() - 20)));
    QByteArray lying = good;
    lying[lying.indexOf("MTrk") + 7] = char(0x7F); // a track longer than the file
    ASSERT_TRUE(WriteFile(album + "/D-lying.mid", lying));
    ASSERT_TRUE(QFile::link(album + "/nowhere.mid", album + "/E-dangling.mid"));
    ASSERT_TRUE(QDir().mkpath(album + "/F-folder.mid"));
    ASSERT_TRUE(WriteFile(album + "/F-folder.mid/inside.txt", "x"));
    dialog->Refresh();
    CAlbumList* list = dialog->MidiList();
    for (int row = 0; row < list->count(); ++row) {
        const QString memo = list->ToolTipFor(row);
        if (list->Paths().at(row).endsWith("Etude.MID")) {
            EXPECT_EQ(memo, QStringLiteral("朝の練習"));
        } else {
            EXPECT_TRUE(memo.isEmpty() || memo == QStringLiteral("メモ"))
                << list->Paths().at(row).toStdString() << ": " << memo.toStdString();
        }
        const QRect item = list->visualItemRect(list->item(row));
        QHelpEvent help(QEvent::ToolTip, item.center(),
                        list->viewport()->mapToGlobal(item.center()));
        QCoreApplication::sendEvent(list->viewport(), &help);
    }
    EXPECT_TRUE(rig.fusion.texts.isEmpty());
}

// A take another program removed meanwhile: deleting it says it failed and the list shows
// what is there; opening it leaves the album open.
TEST_F(AlbumTest, ATakeRemovedBehindTheAlbumsBack) {
    Select(dialog->MidiList(), 0);
    ASSERT_TRUE(QFile::remove(album + "/Etude.MID"));
    rig.fusion.Answer(IDYES);
    Post(CAlbumDlg::WM_ALBUM_TRASH);
    EXPECT_EQ(rig.fusion.texts.last(), QStringLiteral("予期せぬエラーが発生しました。(1)"));
    EXPECT_TRUE(Names(dialog->MidiList()).isEmpty());
    EXPECT_FALSE(dialog->TrashButton()->IsEnabled());

    // A link in the album to a file elsewhere: deleting the take removes the link only, and a
    // link to nowhere is listed but not opened.
    const QString elsewhere = outside + "/Kept.wav";
    ASSERT_TRUE(WriteFile(elsewhere, WavFile(1)));
    ASSERT_TRUE(QFile::link(elsewhere, album + "/Linked.wav"));
    ASSERT_TRUE(QFile::link(outside + "/nowhere.mid", album + "/Ghost.mid"));
    dialog->Refresh();
    ASSERT_EQ(Names(dialog->AudioList()), (QStringList{"Linked", "Nocturne"}));
    Select(dialog->AudioList(), 0);
    rig.fusion.Answer(IDYES);
    Post(CAlbumDlg::WM_ALBUM_TRASH);
    EXPECT_FALSE(QFileInfo(album + "/Linked.wav").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere));
    ASSERT_EQ(Names(dialog->MidiList()), QStringList{"Ghost"});
    Select(dialog->MidiList(), 0);
    Post(CAlbumDlg::WM_ALBUM_OPEN);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->GetSelectRec(), CAlbumDlg::SELECT_NONE);
}

// A full disk and then a read-only one under the album (a small tmpfs mounted over it; only
// where this process may mount): every failure is told, no half file is left, and a take the
// import or the compression would have replaced stays whole.
TEST_F(AlbumTest, AFullOrReadOnlyAlbumLosesNothing) {
    const QByteArray album8 = QFile::encodeName(album);
    if (::mount("tmpfs", album8.constData(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    struct Unmount {
        QByteArray at;
        ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
    } unmount{album8};
    const QByteArray old = WavFile(1).left(40000);
    ASSERT_TRUE(WriteFile(album + "/Old.wav", old));
    const QString big = outside + "/Big.wav";
    ASSERT_TRUE(WriteFile(big, WavFile(2)));
    ASSERT_TRUE(WriteFile(outside + "/Old.wav", WavFile(2)));
    dialog->Refresh();

    dialog->DropFiles(dialog->AudioList(), {big});
    ASSERT_EQ(rig.fusion.texts.size(), 1);
    EXPECT_EQ(rig.fusion.styles.last(), unsigned(MB_OK));
    EXPECT_FALSE(QFileInfo::exists(album + "/Big.wav"));
    rig.fusion.Answer(IDYES);
    dialog->DropFiles(dialog->AudioList(), {outside + "/Old.wav"});
    ASSERT_EQ(rig.fusion.texts.size(), 3) << "the question, then the failure";
    EXPECT_EQ(rig.fusion.styles.last(), unsigned(MB_OK));
    EXPECT_EQ(ReadFile(album + "/Old.wav"), old);
    EXPECT_EQ(Files(), QStringList{"Old.wav"});

    // Full to the last block: the compression fails, says so and leaves nothing.
    QFile filler(album + "/.filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    rig.manage->SetCompressType(COMPRESS_MP3, nullptr);
    Select(dialog->AudioList(), 0);
    rig.fusion.Answer(IDOK);
    Post(CAlbumDlg::WM_ALBUM_ENCODE);
    EXPECT_EQ(rig.fusion.texts.last(), QStringLiteral("ファイル圧縮処理でエラーが発生しました。"));
    EXPECT_EQ(Files(), (QStringList{".filler", "Old.wav"}));
    EXPECT_EQ(ReadFile(album + "/Old.wav"), old);

    // Read-only: neither a deletion nor an import happens, and both say so.
    ASSERT_TRUE(QFile::remove(album + "/.filler"));
    ASSERT_EQ(::mount("tmpfs", album8.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k"),
              0);
    Select(dialog->AudioList(), 0);
    rig.fusion.Answer(IDYES);
    Post(CAlbumDlg::WM_ALBUM_TRASH);
    EXPECT_EQ(rig.fusion.texts.last(), QStringLiteral("予期せぬエラーが発生しました。(1)"));
    EXPECT_EQ(Names(dialog->AudioList()), QStringList{"Old"});
    const int told = int(rig.fusion.texts.size());
    dialog->DropFiles(dialog->MidiList(), {outside + "/Big.wav"});
    EXPECT_EQ(rig.fusion.texts.size(), told + 1);
    EXPECT_EQ(Files(), QStringList{"Old.wav"});
}

} // namespace
