#include "AlbumSupport.h"
#include "CAlbumDlg.h"
#include "CAlbumList.h"
#include "COleDropTargetEx.h"
#include "CVeskToy.h"
#include "CWinMsg.h"
#include "TestHome.h"
#include "WindowRig.h"

#include <QDir>
#include <QDrag>
#include <QDragMoveEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

using namespace albumtest;

namespace {

QString Num(int value) {
    return QString::number(value);
}

// Moves the X server's pointer and presses or releases its button, as a hand would. Runs on
// its own so the window thread keeps handling the events it causes.
void Xdotool(const QStringList& steps) {
    QProcess::startDetached(QStringLiteral("xdotool"), steps);
}

// What a file manager does with a file: a press and a move start a drag of its file URL,
// offering copy, move and link.
class FileSource : public QWidget {
public:
    explicit FileSource(QString path) : m_path(std::move(path)) {
        setWindowTitle(QStringLiteral("files"));
    }
    // Where the pointer goes once the drag runs.
    QPoint target;
    Qt::DropAction result = Qt::IgnoreAction;
    bool started = false;

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        if (started || !(event->buttons() & Qt::LeftButton)) {
            return;
        }
        started = true;
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_path)});
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        Xdotool({"mousemove", Num(target.x()), Num(target.y())});
        result = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::MoveAction);
    }

private:
    QString m_path;
};

// Lets go of the button over the list once the list takes what is dragged over it.
class ReleaseWhenTaken : public QObject {
public:
    ReleaseWhenTaken(CAlbumList* list, QPoint at) : m_list(list), m_at(at) {}
    bool taken = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (!taken && (event->type() == QEvent::DragMove || event->type() == QEvent::DragEnter)) {
            const auto* move = static_cast<QDragMoveEvent*>(event);
            if (m_list->DropTarget()->OnDragOver(move->mimeData()) == Qt::CopyAction) {
                taken = true;
                Xdotool({"mousemove", Num(m_at.x() + 4), Num(m_at.y() + 4), "mouseup", "1"});
            }
        }
        return false;
    }

private:
    CAlbumList* m_list;
    QPoint m_at;
};

class AlbumDragTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsSet("CANTAVO_NO_XVFB") ||
            QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X server (scripts/xvfb-test.sh)";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            GTEST_SKIP() << "needs xdotool";
        }
        QDir(album).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(album));
        ASSERT_TRUE(WriteFile(album + "/Etude.MID", MidiFile()));
        ASSERT_TRUE(WriteFile(album + "/Gymnopedie.mid", MidiFile()));
        ASSERT_TRUE(WriteFile(album + "/Nocturne.wav", WavFile(1)));
        ASSERT_TRUE(WriteFile(album + "/Ballade.wav", WavFile(1)));
        ASSERT_TRUE(WriteFile(album + "/Prelude.mp3", QByteArray(64, 'x')));
        ASSERT_TRUE(WriteFile(album + "/Waltz.wma", QByteArray(64, 'y')));
    }

    CWindowRig rig;
    const QString album = CVeskToy().DataPath();
};

// A file dragged from another window over the X server's drag-and-drop protocol lands in the
// album, and the picture of the album is what the screen shows.
TEST_F(AlbumDragTest, AFileDraggedFromAFileManagerIsImported) {
    const QString outside = MakeTestFolder(QStringLiteral("desktop"));
    const QString take = outside + "/Sonata.mid";
    ASSERT_TRUE(WriteFile(take, MidiFile("Allegro")));

    CAlbumDlg dialog;
    dialog.move(320, 120);
    dialog.show();
    FileSource source(take);
    source.setGeometry(40, 120, 160, 80);
    source.show();
    ASSERT_TRUE(Eventually([&] { return dialog.isVisible() && source.isVisible(); }));
    ASSERT_TRUE(Eventually([&] { return dialog.windowHandle()->isExposed(); }));

    CAlbumList* list = dialog.MidiList();
    const QPoint into = list->viewport()->mapToGlobal(list->viewport()->rect().center());
    source.target = into;
    ReleaseWhenTaken release(list, into);
    list->viewport()->installEventFilter(&release);

    const QPoint from = source.mapToGlobal(source.rect().center());
    Xdotool({"mousemove", Num(from.x()), Num(from.y()), "mousedown", "1", "mousemove",
             Num(from.x() + 30), Num(from.y())});
    EXPECT_TRUE(Eventually([&] { return QFileInfo::exists(album + "/Sonata.mid"); }));
    EXPECT_TRUE(source.started) << "the press and move started no drag";
    EXPECT_TRUE(release.taken) << "the drag never reached the list";
    EXPECT_TRUE(
        Eventually([&] { return dialog.MidiList()->Paths().contains(album + "/Sonata.mid"); }));
    EXPECT_EQ(ReadFile(album + "/Sonata.mid"), ReadFile(take));
    EXPECT_TRUE(QFileInfo::exists(take)) << "a copy, not a move";
    EXPECT_TRUE(rig.fusion.texts.isEmpty());

    // The screen's own pixels of the album with its takes, the new one selected.
    dialog.MidiList()->SelectRow(dialog.MidiList()->Paths().indexOf(album + "/Sonata.mid"));
    CWinMsg::PumpMessages();
    source.hide();
    EXPECT_TRUE(Eventually([&] { return !source.isVisible(); }));
    CWinMsg::PumpMessages();
    const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
    QDir().mkpath(folder);
    const QRect frame = dialog.frameGeometry();
    QGuiApplication::primaryScreen()
        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
        .save(folder + "/album-xvfb.png");
}

} // namespace
