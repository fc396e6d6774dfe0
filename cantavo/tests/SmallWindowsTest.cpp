#include "CAboutDlg.h"
#include "CAboutText.h"
#include "CInitialDlg.h"
#include "CLast.h"
#include "CTrade.h"
#include "CWaitDlg.h"
#include "CWinMsg.h"
#include "DialogShots.h"
#include "EngineDoubles.h"
#include "IconMessages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class SmallWindows : public testing::Test {
protected:
    void SetUp() override {
        UseProgramFont();
        CLast::InitTrade(&trade);
    }
    void TearDown() override { CLast::InitTrade(nullptr); }

    // How many cells of the bar are drawn lit.
    static int LitCells(CWaitDlg& wait) {
        const QImage shot = wait.grab().toImage();
        int lit = 0;
        for (int cell = 0; cell < CWaitDlg::kCells; ++cell) {
            const QColor colour = shot.pixelColor(CWaitDlg::CellRect(cell).center());
            if (colour == CWaitDlg::LitColour()) {
                ++lit;
            } else {
                EXPECT_EQ(colour, CWaitDlg::UnlitColour()) << "cell " << cell;
            }
        }
        return lit;
    }

    CTrade trade;
};

TEST_F(SmallWindows, TheWaitingBarLightsOneMoreCellAtEachStepAndStartsAgainAfterTwenty) {
    CWaitDlg wait;
    EXPECT_EQ(wait.size(), QSize(140, 50));
    wait.show();
    wait.StartAnimation(200);
    EXPECT_EQ(wait.Interval(), 200);
    EXPECT_TRUE(wait.IsRunning());
    EXPECT_EQ(wait.Position(), 0);
    EXPECT_EQ(LitCells(wait), 1);
    for (int step = 1; step < CWaitDlg::kCells; ++step) {
        wait.Step();
        EXPECT_EQ(wait.Position(), step);
        EXPECT_EQ(LitCells(wait), step + 1);
        if (step == 8) {
            EXPECT_TRUE(SaveShot(QStringLiteral("waiting.png"), wait.grab().toImage()));
        }
    }
    // After the twentieth cell the bar starts again with one.
    wait.Step();
    EXPECT_EQ(wait.Position(), 0);
    EXPECT_EQ(LitCells(wait), 1);
    // The bar stays inside the window, 10 pixels in from each side.
    EXPECT_EQ(CWaitDlg::CellRect(0).left(), 10);
    EXPECT_LE(CWaitDlg::CellRect(CWaitDlg::kCells - 1).right(), 140 - 10);

    wait.StopAnimation(true);
    EXPECT_FALSE(wait.IsRunning());
    EXPECT_EQ(LitCells(wait), CWaitDlg::kCells);
}

TEST_F(SmallWindows, TheWaitingBarRunsOnItsOwnTimer) {
    CWaitDlg wait;
    wait.show();
    wait.StartAnimation(200);
    ASSERT_TRUE(Eventually([&] { return wait.Position() >= 3; }));
    // A full stop by message: every cell lit, no more steps.
    CWinMsg::PostMessage(&wait, WM_WAITSTOP, 1, 0);
    ASSERT_TRUE(Eventually([&] { return !wait.IsRunning(); }));
    EXPECT_EQ(wait.Position(), CWaitDlg::kCells);
    // A data change changes nothing.
    CWinMsg::PostMessage(&wait, WM_DATACHANGE, 0, 0);
    CWinMsg::PumpMessages();
    EXPECT_EQ(wait.Position(), CWaitDlg::kCells);
}

TEST_F(SmallWindows, TheWaitingWindowStaysUntilItsOwnerEndsIt) {
    QWidget owner;
    owner.setGeometry(100, 100, 400, 300);
    owner.show();
    CWaitDlg wait(&owner);
    wait.ResizeDlg();
    wait.show();
    CWinMsg::PumpMessages();
    EXPECT_NEAR(wait.frameGeometry().center().x(), owner.frameGeometry().center().x(), 2);
    EXPECT_NEAR(wait.frameGeometry().center().y(), owner.frameGeometry().center().y(), 2);
    QTest::keyClick(&wait, Qt::Key_Escape);
    wait.close();
    CWinMsg::PumpMessages();
    EXPECT_TRUE(wait.isVisible());
}

TEST_F(SmallWindows, TheStartUpPictureFillsAWindowWithoutCaptionInTheMiddle) {
    CInitialDlg splash;
    splash.show();
    CWinMsg::PumpMessages();
    EXPECT_EQ(splash.size(), QSize(580, 258));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(splash.geometry().center().x(), area.center().x(), 1);
    EXPECT_NEAR(splash.geometry().center().y(), area.center().y(), 1);
    QImage expected(580, 258, QImage::Format_RGB32);
    {
        QPainter painter(&expected);
        trade.PaintSplash(painter);
    }
    const QImage shot = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(SaveShot(QStringLiteral("startup.png"), shot));
    for (const QPoint at : {QPoint(5, 5), QPoint(290, 129), QPoint(570, 250)}) {
        EXPECT_EQ(shot.pixel(at), expected.pixel(at));
    }
}

TEST_F(SmallWindows, TheAboutWindowNamesTheVersionTheNoticesAndTheFiles) {
    CAboutDlg about;
    const QString text = about.Text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("ZQ31 Concertino Version 1.02J\n\n")));
    for (const char* notice : {"Qt 6", "LGPL-3.0", "FFmpeg", "LAME", "mpg123", "ALSA", "FluidSynth",
                               "WITHOUT ANY WARRANTY"}) {
        EXPECT_TRUE(text.contains(QString::fromLatin1(notice))) << notice;
    }
    EXPECT_TRUE(text.endsWith(CAboutText::ForTerminal(CAboutText::VersionList())));
    EXPECT_TRUE(about.TextField()->isReadOnly());
    about.show();
    CWinMsg::PumpMessages();
    // More text than the field shows: it scrolls.
    EXPECT_GT(about.TextField()->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(SaveShot(QStringLiteral("about.png"), about.grab().toImage()));
    QTest::mouseClick(about.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

} // namespace
