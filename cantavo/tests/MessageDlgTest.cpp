#include "CIconWndButton.h"
#include "CLast.h"
#include "CMessageDlg.h"
#include "CTextWnd.h"
#include "CTrade.h"
#include "CWinMsg.h"
#include "DialogShots.h"
#include "EngineDoubles.h"
#include "IconMessages.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kCaption = QStringLiteral("メッセージ");

class MessageDlg : public testing::Test {
protected:
    void SetUp() override {
        UseProgramFont();
        CLast::InitTrade(&trade);
    }
    void TearDown() override { CLast::InitTrade(nullptr); }

    std::unique_ptr<CMessageDlg> Box(const QString& text, unsigned int style) {
        auto box = std::make_unique<CMessageDlg>(nullptr);
        box->SetText(text, style, kCaption);
        return box;
    }
    // Shows the box as the modal loop would, without running one.
    static void Open(CMessageDlg& box) {
        box.show();
        CWinMsg::PumpMessages();
    }
    static void Key(CMessageDlg& box, int key) {
        QTest::keyClick(&box, static_cast<Qt::Key>(key));
        CWinMsg::PumpMessages();
    }
    static void Click(CIconWndButton* button) {
        ASSERT_NE(button, nullptr);
        const QPoint centre = button->rect().center();
        QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, centre);
        CWinMsg::PumpMessages();
    }
    static QRect Available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    CTrade trade;
};

TEST_F(MessageDlg, AOneLineMessageIsItsTextWidePlusTwentyWithOkAtTheRight) {
    auto box = Box(QStringLiteral("ファイル圧縮が正常に終了しました。"), MB_OK);
    const QSize text = box->TextBox()->GetSize();
    ASSERT_GT(text.width(), 100);
    EXPECT_EQ(box->size(), QSize(text.width() + 20, text.height() + 64));
    EXPECT_EQ(box->TextBox()->geometry(), QRect(QPoint(10, 10), text));
    CIconWndButton* ok = box->Button(IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->geometry(), QRect(box->width() - 44, box->height() - 44, 40, 41));
    EXPECT_EQ(box->Button(IDCANCEL), nullptr);
    EXPECT_EQ(box->Button(IDYES), nullptr);
    EXPECT_EQ(box->windowTitle(), kCaption);
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(box->windowFlags() & Qt::WindowSystemMenuHint);
    // Centred over the screen without an owner.
    EXPECT_NEAR(box->geometry().center().x(), Available().center().x(), 10);

    // The text box in its colours, on the skin's dialog background.
    Open(*box);
    const QImage shot = box->grab().toImage();
    EXPECT_EQ(shot.pixelColor(box->TextBox()->geometry().bottomRight() - QPoint(2, 2)),
              QColor(249, 233, 179));
    EXPECT_EQ(shot.pixelColor(10, 10), QColor(120, 96, 88)); // the box's top-left line
    EXPECT_TRUE(SaveShot(QStringLiteral("message-ok.png"), shot));
}

TEST_F(MessageDlg, ButtonsOfEachStyleStandAtTheBottomRight) {
    const QString text = QStringLiteral(
        "オーディオファイルを圧縮します。\r\n（処理に時間がかかることがあります。）");
    auto okCancel = Box(text, MB_OKCANCEL);
    const int x0 = okCancel->width() - 88;
    const int y = okCancel->height() - 44;
    EXPECT_EQ(okCancel->TextBox()->Lines().size(), 2);
    EXPECT_EQ(okCancel->Button(IDOK)->pos(), QPoint(x0, y));
    EXPECT_EQ(okCancel->Button(IDCANCEL)->pos(), QPoint(x0 + 44, y));

    auto yesNo =
        Box(QStringLiteral("現在の録音内容は保存されていませんが、\r\n新しく録音をはじめますか？"),
            MB_YESNO);
    EXPECT_EQ(yesNo->Button(IDYES)->pos(), QPoint(yesNo->width() - 88, yesNo->height() - 44));
    EXPECT_EQ(yesNo->Button(IDNO)->pos(), QPoint(yesNo->width() - 44, yesNo->height() - 44));
    EXPECT_EQ(yesNo->Button(IDOK), nullptr);
    Open(*yesNo);
    EXPECT_TRUE(SaveShot(QStringLiteral("message-yesno.png"), yesNo->grab().toImage()));
}

TEST_F(MessageDlg, EnterAndEscapeFollowTheStyle) {
    // A Yes/No question is answered with its buttons only.
    auto question = Box(QStringLiteral("新しく録音をはじめますか？"), MB_YESNO);
    Open(*question);
    Key(*question, Qt::Key_Escape);
    Key(*question, Qt::Key_Return);
    Key(*question, Qt::Key_Enter);
    question->close();
    CWinMsg::PumpMessages();
    EXPECT_TRUE(question->isVisible());
    EXPECT_EQ(question->Result(), 0);
    Click(question->Button(IDNO));
    EXPECT_FALSE(question->isVisible());
    EXPECT_EQ(question->Result(), IDNO);

    // OK alone: Enter answers, Escape does nothing.
    auto ok = Box(QStringLiteral("メッセージです。"), MB_OK);
    Open(*ok);
    Key(*ok, Qt::Key_Escape);
    EXPECT_TRUE(ok->isVisible());
    Key(*ok, Qt::Key_Return);
    EXPECT_FALSE(ok->isVisible());
    EXPECT_EQ(ok->Result(), IDOK);

    // OK and Cancel: Enter is OK, Escape is Cancel.
    auto enter = Box(QStringLiteral("圧縮します。"), MB_OKCANCEL);
    Open(*enter);
    Key(*enter, Qt::Key_Enter);
    EXPECT_EQ(enter->Result(), IDOK);
    auto escape = Box(QStringLiteral("圧縮します。"), MB_OKCANCEL);
    Open(*escape);
    Key(*escape, Qt::Key_Escape);
    EXPECT_FALSE(escape->isVisible());
    EXPECT_EQ(escape->Result(), IDCANCEL);
}

TEST_F(MessageDlg, AButtonAnswersOnReleaseNotOnPress) {
    auto question = Box(QStringLiteral("よろしいですか？"), MB_YESNO);
    Open(*question);
    CIconWndButton* yes = question->Button(IDYES);
    QTest::mousePress(yes, Qt::LeftButton, Qt::NoModifier, yes->rect().center());
    CWinMsg::PumpMessages();
    EXPECT_TRUE(question->isVisible());
    QTest::mouseRelease(yes, Qt::LeftButton, Qt::NoModifier, yes->rect().center());
    CWinMsg::PumpMessages();
    EXPECT_EQ(question->Result(), IDYES);
}

TEST_F(MessageDlg, AStyleItDoesNotKnowStillHasAWayOut) {
    auto box = Box(QStringLiteral("再試行しますか？"), 5);
    ASSERT_NE(box->Button(IDOK), nullptr);
    Open(*box);
    Click(box->Button(IDOK));
    EXPECT_EQ(box->Result(), IDOK);
}

TEST_F(MessageDlg, DoModalRunsANestedLoopInWhichPostedMessagesArrive) {
    auto question = Box(QStringLiteral("よろしいですか？"), MB_YESNO);
    CRecordingWindow window;
    bool heardWhileOpen = false;
    QTimer::singleShot(0, [&] {
        CWinMsg::PostMessage(&window, WM_DATACHANGE, 7, 0);
        QTimer::singleShot(0, [&] {
            heardWhileOpen = question->isVisible() && !window.received.empty();
            Click(question->Button(IDYES));
        });
    });
    EXPECT_EQ(question->DoModal(), IDYES);
    EXPECT_TRUE(heardWhileOpen);
}

// A message wider than the screen would put its buttons beyond reach: it is wrapped to the
// screen instead, and nothing of it is lost.
TEST_F(MessageDlg, ATextWiderThanTheScreenIsWrappedAndTheButtonsStayOnIt) {
    QString text;
    for (int i = 0; i < 40; ++i) {
        text += QStringLiteral("とても長いメッセージ");
    }
    text += QStringLiteral("\r\nA second line with English words that go on and on well beyond "
                           "the right edge of any screen this program will ever be shown on, "
                           "and a little further still.");
    auto question = Box(text, MB_YESNO);
    Open(*question);
    const QRect area = Available();
    const QRect frame = question->frameGeometry();
    EXPECT_LE(frame.width(), area.width());
    EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width();
    for (const int id : {IDYES, IDNO}) {
        const QRect button(question->mapToGlobal(question->Button(id)->pos()),
                           question->Button(id)->size());
        EXPECT_TRUE(area.contains(button));
    }
    const QStringList lines = question->TextBox()->Lines();
    EXPECT_GT(lines.size(), 3);
    const QFontMetrics metrics(question->TextBox()->Font());
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line) + 6, question->TextBox()->width());
    }
    // Every character is still there; the English line broke between words.
    QString joined = question->ShownText();
    joined.remove(QStringLiteral("\r\n"));
    QString expected = text;
    expected.remove(QStringLiteral("\r\n")).remove(QLatin1Char(' '));
    EXPECT_EQ(joined.remove(QLatin1Char(' ')), expected);
    for (const QString& line : lines) {
        EXPECT_FALSE(line.startsWith(QLatin1Char(' ')));
    }
    EXPECT_TRUE(
        lines.contains(QStringLiteral("A second line with English words that go on and on")) ||
        std::any_of(lines.begin(), lines.end(), [](const QString& line) {
            return line.startsWith(QStringLiteral("A second line"));
        }));
}

// A message taller than the screen would put a question's buttons out of reach, and a
// Yes/No question answers to nothing else: the lines that do not fit give way to a last "…".
TEST_F(MessageDlg, ATextTallerThanTheScreenKeepsTheButtonsOnIt) {
    QStringList many;
    for (int i = 0; i < 600; ++i) {
        many << QStringLiteral("%1 行目のファイルを読めませんでした。").arg(i + 1);
    }
    for (const unsigned int style : {MB_YESNO, MB_OKCANCEL, MB_OK}) {
        auto box = Box(many.join(QStringLiteral("\r\n")), style);
        Open(*box);
        const QRect area = Available();
        EXPECT_TRUE(area.contains(box->frameGeometry()))
            << style << ": " << box->frameGeometry().height() << " > " << area.height();
        for (const int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            if (CIconWndButton* button = box->Button(id)) {
                EXPECT_TRUE(area.contains(QRect(box->mapToGlobal(button->pos()), button->size())))
                    << style << " button " << id;
            }
        }
        const QStringList lines = box->TextBox()->Lines();
        ASSERT_GT(lines.size(), 2);
        EXPECT_LT(lines.size(), 600);
        EXPECT_EQ(lines.first(), many.first());
        EXPECT_EQ(lines.last(), QStringLiteral("…"));
    }
}

// Libraries end their lines with "\r\n", "\n" or a lone "\r"; each is a line of its own, and
// a message without any text is still a box that can be answered.
TEST_F(MessageDlg, EveryKindOfLineEndBreaksTheLineAndAnEmptyTextStillHasItsButtons) {
    auto mixed = Box(QStringLiteral("一行目\n二行目\r\n三行目\r四行目\n\n六行目"), MB_OK);
    EXPECT_EQ(
        mixed->TextBox()->Lines(),
        QStringList({QStringLiteral("一行目"), QStringLiteral("二行目"), QStringLiteral("三行目"),
                     QStringLiteral("四行目"), QString(), QStringLiteral("六行目")}));
    EXPECT_FALSE(
        mixed->ShownText().contains(QRegularExpression(QStringLiteral("[^\r]\n|\r[^\n]"))));
    // A line end inside a line that is wrapped to the screen still ends a line.
    QString wide = QStringLiteral("短い行\n");
    for (int i = 0; i < 60; ++i) {
        wide += QStringLiteral("長いメッセージ");
    }
    auto wrapped = Box(wide, MB_OK);
    EXPECT_EQ(wrapped->TextBox()->Lines().first(), QStringLiteral("短い行"));

    for (const QString& text :
         {QString(), QStringLiteral("\r\n\r\n\r\n"), QStringLiteral("\n\n")}) {
        for (const unsigned int style : {MB_OK, MB_OKCANCEL, MB_YESNO}) {
            auto box = Box(text, style);
            Open(*box);
            EXPECT_GE(box->width(), CMessageDlg::kMinClientWidth);
            const int first = style == MB_YESNO ? IDYES : IDOK;
            ASSERT_NE(box->Button(first), nullptr);
            EXPECT_TRUE(box->rect().contains(box->Button(first)->geometry()));
            Click(box->Button(first));
            EXPECT_EQ(box->Result(), first);
        }
    }
}

TEST_F(MessageDlg, AVeryShortQuestionStillHoldsBothButtons) {
    auto question = Box(QStringLiteral("？"), MB_YESNO);
    EXPECT_GE(question->Button(IDYES)->x(), 0);
    EXPECT_LE(question->Button(IDNO)->geometry().right(), question->width() - 1);
}

TEST(MessageWrap, LinesThatFitAreKeptAsTheyAre) {
    const QFont font = QApplication::font();
    const QString text = QStringLiteral("一行目\r\n\r\n三行目");
    EXPECT_EQ(CMessageDlg::WrapText(text, font, 400), text);
    const QString wrapped =
        CMessageDlg::WrapText(QStringLiteral("あいうえおかきくけこ"), font,
                              QFontMetrics(font).horizontalAdvance(QStringLiteral("あいうえ")) + 6);
    EXPECT_EQ(wrapped.split(QStringLiteral("\r\n")).first(), QStringLiteral("あいうえ"));
    EXPECT_EQ(QString(wrapped).remove(QStringLiteral("\r\n")),
              QStringLiteral("あいうえおかきくけこ"));
}

} // namespace
