#include "MainPiece.h"
#include "WindowRig.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

// The palette in each of its looks, the metronome window with each character and the reverb
// window, as the X server shows them (the translucent palette as it is blended on screen).
// Saved into the build folder for the documentation.

namespace {

QString ShotPath(const QString& name) {
    QDir().mkpath(QStringLiteral(PALETTE_SHOTS_DIR));
    return QStringLiteral(PALETTE_SHOTS_DIR "/") + name;
}

// The window as the screen shows it, client area only.
QImage Screen(QWidget& window) {
    QCoreApplication::processEvents();
    const QPoint at = window.mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, at.x(), at.y(), window.width(), window.height())
        .toImage();
}

class Screenshots : public testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X server: run through scripts/xvfb-test.sh with xvfb-run "
                            "installed (platform here: "
                         << QGuiApplication::platformName().toStdString() << ")";
        }
    }
};

} // namespace

TEST_F(Screenshots, PaletteInEachStyle) {
    CWindowRig rig;
    CMainPiece piece(*rig.manage);
    piece.view.move(0, 0);
    piece.view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&piece.view));
    rig.manage->SetDualTimbre(TIM_STRINGS, nullptr);
    ASSERT_TRUE(Eventually([&] { return piece.frosted.VoiceButton(TIM_STRINGS).Checkd() == 1; }));
    QImage previous;
    for (int style = 0; style <= FROSTED_STYLE_NONE; ++style) {
        rig.manage->SetFrostedStyle(static_cast<FROSTED_STYLE>(style));
        ASSERT_TRUE(Eventually([&] { return piece.frosted.FrostedFrame() == style; }));
        // The palette's column lies over the picture, translucent: on the screen it differs
        // from the picture there in every style but the empty one. Waits for the X server to
        // show the new look.
        const QPoint inColumn = piece.Background();
        const QRgb picture = piece.reverbIcon.GetBitmap().pixel(inColumn);
        QImage shot;
        EXPECT_TRUE(Eventually([&] {
            shot = Screen(piece.view);
            const bool blended = shot.pixel(inColumn) != picture;
            return shot != previous && blended == (style != FROSTED_STYLE_NONE);
        })) << style;
        EXPECT_TRUE(shot.save(ShotPath(QStringLiteral("palette-style-%1.png").arg(style))));
        previous = shot;
    }
}

TEST_F(Screenshots, MetronomeWindowWithEachCharacterAndTheReverbWindow) {
    CWindowRig rig;
    CMainPiece piece(*rig.manage);
    CMetronomeDlg& dialog = *piece.metronome;
    dialog.move(40, 40);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QImage previous = Screen(dialog);
    for (int type = 0; type < CMetronomeDlg::kCharacters; ++type) {
        dialog.CharacterButton(type).Click();
        ASSERT_TRUE(Eventually([&] { return dialog.CharacterButton(type).Checkd() == 1; }));
        QImage shot;
        EXPECT_TRUE(Eventually([&] {
            shot = Screen(dialog);
            return type == 0 || shot != previous;
        })) << type;
        previous = shot;
        EXPECT_EQ(shot.size(), CMetronomeDlg::kClientSize);
        EXPECT_TRUE(
            shot.save(ShotPath(QStringLiteral("metronome-character-%1.png").arg(type + 1))));
    }
    dialog.hide();

    QCursor::setPos(300, 300);
    piece.reverb->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(piece.reverb.get()));
    EXPECT_TRUE(piece.reverb->isVisible()) << "shown on request, not hidden again";
    QImage shot;
    EXPECT_TRUE(Eventually([&] {
        shot = Screen(*piece.reverb);
        return shot.pixel(QPoint(50, 2)) == qRgb(255, 255, 255);
    }));
    EXPECT_EQ(shot.size(), CReverbDlg::kClientSize);
    EXPECT_TRUE(shot.save(ShotPath(QStringLiteral("reverb-window.png"))));
}
