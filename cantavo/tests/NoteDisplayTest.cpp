#include "CDanceNoteDlg.h"
#include "CIconWndButton.h"
#include "CKeyboardDlg.h"
#include "CLast.h"
#include "CTrade.h"
#include "CVeskToy.h"
#include "CWinMsg.h"
#include "IconMessages.h"
#include "WindowRig.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

// The key of a MIDI note on the 88-key displays.
int KeyOf(int note) {
    return note - 21;
}

WPARAM Request(unsigned int high, unsigned int key) {
    unsigned int packed = 0;
    CVeskToy::ConbineMessage(high, key, packed);
    return packed;
}

// Screenshots land beside the test program, for the docs and for a look.
void SaveShot(QWidget& window, const QString& name) {
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(window.grab().save(folder + QLatin1Char('/') + name)) << name.toStdString();
}

// Counts the paints each watched window gets.
class CPaintCounter : public QObject {
public:
    void Watch(QWidget* window) {
        window->installEventFilter(this);
        m_counts[window] = 0;
    }
    int Count(QWidget* window) const { return m_counts.at(window); }
    void Reset() {
        for (auto& [window, count] : m_counts) {
            count = 0;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++m_counts[static_cast<QWidget*>(watched)];
        }
        return false;
    }

private:
    std::map<QWidget*, int> m_counts;
};

// The engine against a fresh virtual ZQ31, with the program's skin.
class NoteDisplay : public ::testing::Test {
protected:
    void SetUp() override { CLast::InitTrade(&trade); }
    void TearDown() override { CLast::InitTrade(nullptr); }

    bool KeyHeld(const CKeyboardDlg& keyboard, int note) {
        return keyboard.Key(KeyOf(note))->Checkd() != 0;
    }
    // The picture a note shows, or -1 while it is hidden.
    static int Picture(const CDanceNoteDlg& notes, int note) {
        const CIconWnd* icon = notes.Note(KeyOf(note));
        return icon->isVisible() ? icon->CurrentFrame() : -1;
    }
    static int VisibleNotes(const CDanceNoteDlg& notes) {
        int visible = 0;
        for (int k = 0; k < CDanceNoteDlg::kNotes; ++k) {
            visible += notes.Note(k)->isVisible() ? 1 : 0;
        }
        return visible;
    }

    CTrade trade;
    CWindowRig rig;
};

TEST_F(NoteDisplay, KeysFollowThePianoAndNeverTheMouse) {
    // On a host as on the palette, so that the keyboard's rounded outline shows.
    QWidget host;
    host.setAutoFillBackground(true);
    host.setPalette(QPalette(QColor(96, 84, 70)));
    host.resize(738, 76);
    CKeyboardDlg keyboard(&host, QRect(10, 10, 718, 55));
    host.show();
    EXPECT_EQ(rig.manage->GetKeyboard(), &keyboard);

    const std::vector<int> chord{21, 60, 61, 64, 67, 108};
    for (int note : chord) {
        rig.piano->PressKey(static_cast<std::uint8_t>(note), 90);
    }
    ASSERT_TRUE(Eventually([&] {
        for (int note : chord) {
            if (!KeyHeld(keyboard, note)) {
                return false;
            }
        }
        return true;
    }));
    int held = 0;
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        held += keyboard.Key(k)->Checkd();
    }
    EXPECT_EQ(held, static_cast<int>(chord.size()));
    EXPECT_EQ(keyboard.Key(KeyOf(60))->CurrentFrame(), 1);
    SaveShot(host, QStringLiteral("keyboard-pressed.png"));

    // A click on a key changes nothing.
    keyboard.Key(KeyOf(62))->Click();
    keyboard.Key(KeyOf(60))->Click();
    CWinMsg::PumpMessages();
    EXPECT_FALSE(KeyHeld(keyboard, 62));
    EXPECT_TRUE(KeyHeld(keyboard, 60));

    rig.piano->ReleaseKey(60);
    ASSERT_TRUE(Eventually([&] { return !KeyHeld(keyboard, 60); }));
    EXPECT_EQ(keyboard.Key(KeyOf(60))->CurrentFrame(), 0);
    EXPECT_TRUE(KeyHeld(keyboard, 64));
}

TEST_F(NoteDisplay, KeyRequestsPressOneKeyOrReleaseAll) {
    CKeyboardDlg keyboard(nullptr);
    for (unsigned int key : {0u, 39u, 87u}) {
        CWinMsg::PostMessage(&keyboard, CKeyboardDlg::WM_KEYBOARDDISP, Request(1, key), 0);
    }
    CWinMsg::PostMessage(&keyboard, CKeyboardDlg::WM_KEYBOARDDISP, Request(0, 39), 0);
    CWinMsg::PumpMessages();
    EXPECT_EQ(keyboard.Key(0)->Checkd(), 1);
    EXPECT_EQ(keyboard.Key(39)->Checkd(), 0);
    EXPECT_EQ(keyboard.Key(87)->Checkd(), 1);

    CWinMsg::PostMessage(&keyboard, CKeyboardDlg::WM_KEYBOARDDISP, Request(1, 88), 0);
    CWinMsg::PumpMessages();
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        EXPECT_EQ(keyboard.Key(k)->Checkd(), 0) << k;
    }
}

TEST_F(NoteDisplay, KeysStandOnTheBackgroundLikeAPiano) {
    CKeyboardDlg keyboard(nullptr);
    EXPECT_EQ(keyboard.size(), QSize(718, 56));
    EXPECT_EQ(keyboard.Key(0)->pos(), QPoint(68, 12));
    int whites = 0;
    int lastWhite = -100;
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        const CIconWndButton* key = keyboard.Key(k);
        EXPECT_TRUE(keyboard.rect().contains(key->geometry())) << k;
        EXPECT_EQ(key->pos(), CKeyboardDlg::KeyPosition(k)) << k;
        EXPECT_TRUE(key->IsMouseLocked());
        if (CKeyboardDlg::IsBlackKey(k)) {
            EXPECT_EQ(key->pos().x(), lastWhite + 7) << k;
            EXPECT_EQ(key->size(), QSize(7, 23));
        } else {
            if (whites > 0) {
                EXPECT_EQ(key->pos().x(), lastWhite + 11) << k;
            }
            lastWhite = key->pos().x();
            ++whites;
            EXPECT_EQ(key->size(), QSize(10, 33));
        }
    }
    EXPECT_EQ(whites, 52);
    EXPECT_EQ(keyboard.Key(0)->accessibleName(), QStringLiteral("A0"));
    EXPECT_EQ(keyboard.Key(39)->accessibleName(), QStringLiteral("C4"));
    EXPECT_EQ(keyboard.Key(87)->toolTip(), QStringLiteral("C8"));
}

TEST_F(NoteDisplay, OnlyTheKeysThatChangeArePainted) {
    QWidget host;
    host.resize(760, 80);
    CKeyboardDlg keyboard(&host, QRect(10, 10, 718, 55));
    host.show();
    CPaintCounter paints;
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        paints.Watch(keyboard.Key(k));
    }
    // The first picture of every key, before counting.
    ASSERT_TRUE(Eventually([&] {
        for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
            if (paints.Count(keyboard.Key(k)) == 0) {
                return false;
            }
        }
        return true;
    }));
    paints.Reset();

    rig.piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return paints.Count(keyboard.Key(KeyOf(60))) > 0; }));
    // The pressed key and at most the keys that overlap its rectangle are drawn again.
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        if (std::abs(k - KeyOf(60)) > 1) {
            EXPECT_EQ(paints.Count(keyboard.Key(k)), 0) << k;
        }
    }
    // A change of the shared state that leaves the keys as they are paints nothing.
    paints.Reset();
    rig.manage->PostKeyboardNote(60, 100);
    CWinMsg::PumpMessages();
    CWinMsg::PumpMessages();
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        EXPECT_EQ(paints.Count(keyboard.Key(k)), 0) << k;
    }
}

TEST_F(NoteDisplay, RecordedNotesDanceWithTheNextPictures) {
    CKeyboardDlg keyboard(nullptr);
    CDanceNoteDlg notes(nullptr);
    notes.show();
    EXPECT_EQ(rig.manage->GetDancingNote(), &notes);

    // Played without a recording: the keyboard follows, the staff stays empty.
    rig.piano->PressKey(48, 80);
    ASSERT_TRUE(Eventually([&] { return KeyHeld(keyboard, 48); }));
    CWinMsg::PumpMessages();
    EXPECT_EQ(VisibleNotes(notes), 0);
    rig.piano->ReleaseKey(48);

    ASSERT_EQ(rig.manage->SeqRec().GetCode(), ERR_VESK_OK);
    const int first = notes.Counter();
    rig.piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 60) >= 0; }));
    rig.piano->PressKey(64, 100);
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 64) >= 0; }));
    EXPECT_EQ(Picture(notes, 60), first);
    EXPECT_EQ(Picture(notes, 64), (first + 1) % CDanceNoteDlg::kPictures);

    // The held note keeps its picture while others come and go.
    for (int note : {67, 72, 76}) {
        rig.piano->PressKey(static_cast<std::uint8_t>(note), 70);
    }
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 76) >= 0; }));
    SaveShot(notes, QStringLiteral("dancing-notes-recording.png"));
    rig.piano->ReleaseKey(64);
    rig.piano->ReleaseKey(72);
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 64) < 0 && Picture(notes, 72) < 0; }));
    EXPECT_EQ(Picture(notes, 60), first);
    EXPECT_EQ(Picture(notes, 67), (first + 2) % CDanceNoteDlg::kPictures);
    // Pressed again, a note takes the next picture, not its old one.
    rig.piano->PressKey(64, 100);
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 64) >= 0; }));
    EXPECT_EQ(Picture(notes, 64), (first + 5) % CDanceNoteDlg::kPictures);

    for (int note : {60, 64, 67, 76}) {
        rig.piano->ReleaseKey(static_cast<std::uint8_t>(note));
    }
    ASSERT_TRUE(Eventually([&] { return VisibleNotes(notes) == 0; }));
    ASSERT_EQ(rig.manage->SeqStop().GetCode(), ERR_VESK_OK);

    // The take played back dances too, with nothing played on the keyboard.
    ASSERT_EQ(rig.manage->SeqPlay().GetCode(), ERR_VESK_OK);
    EXPECT_TRUE(Eventually([&] { return Picture(notes, 60) >= 0; }));
    EXPECT_TRUE(Eventually([&] { return rig.midi.GetSoundStatus() == SOUND_STOP; }));
    EXPECT_TRUE(Eventually([&] { return VisibleNotes(notes) == 0; }));
}

TEST_F(NoteDisplay, NoteRequestsShowOnePictureOrHideAll) {
    CDanceNoteDlg notes(nullptr);
    notes.show();
    CWinMsg::PostMessage(&notes, CDanceNoteDlg::WM_NOTEDISP, Request(3, 0), 0);
    CWinMsg::PostMessage(&notes, CDanceNoteDlg::WM_NOTEDISP, Request(7, 87), 0);
    CWinMsg::PostMessage(&notes, CDanceNoteDlg::WM_NOTEDISP, Request(5, 40), 0);
    CWinMsg::PostMessage(&notes, CDanceNoteDlg::WM_NOTEDISP, Request(8, 40), 0);
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 108) == 7; }));
    EXPECT_EQ(Picture(notes, 21), 3);
    EXPECT_EQ(Picture(notes, 61), -1);

    // A request for key 88 hides every note.
    CWinMsg::PostMessage(&notes, CDanceNoteDlg::WM_NOTEDISP, Request(0, 88), 0);
    ASSERT_TRUE(Eventually([&] { return VisibleNotes(notes) == 0; }));
}

TEST_F(NoteDisplay, AFastPassageEndsWithTheRightNotes) {
    CKeyboardDlg keyboard(nullptr);
    CDanceNoteDlg notes(nullptr);
    notes.show();
    keyboard.show();
    ASSERT_EQ(rig.manage->SeqRec().GetCode(), ERR_VESK_OK);
    // Runs up and down three octaves without waiting for the display; the last chord stays.
    for (int round = 0; round < 4; ++round) {
        for (int note = 48; note < 84; ++note) {
            rig.piano->PressKey(static_cast<std::uint8_t>(note), 100);
            rig.piano->ReleaseKey(static_cast<std::uint8_t>(note > 48 ? note - 1 : 83));
        }
    }
    rig.piano->ReleaseKey(83);
    for (int note : {50, 53, 57}) {
        rig.piano->PressKey(static_cast<std::uint8_t>(note), 100);
    }
    const auto settled = [&] {
        for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
            const bool wanted = k == KeyOf(50) || k == KeyOf(53) || k == KeyOf(57);
            if ((keyboard.Key(k)->Checkd() != 0) != wanted ||
                notes.Note(k)->isVisible() != wanted) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(Eventually(settled));
    for (int note : {50, 53, 57}) {
        rig.piano->ReleaseKey(static_cast<std::uint8_t>(note));
    }
    EXPECT_TRUE(Eventually([&] { return VisibleNotes(notes) == 0; }));
}

TEST_F(NoteDisplay, NotesStandOnTheStaffWithTheirNames) {
    CDanceNoteDlg notes(nullptr);
    EXPECT_EQ(notes.size(), QSize(307, 59));
    EXPECT_EQ(notes.Note(0)->pos(), QPoint(184, 46));
    // The first notes of each row, and the sharps left of the notes they stand between.
    EXPECT_EQ(notes.Note(1)->pos(), QPoint(160, 44));
    EXPECT_EQ(notes.Note(2)->pos(), QPoint(192, 44));
    EXPECT_EQ(notes.Note(21)->pos(), QPoint(72, 48));
    EXPECT_EQ(notes.Note(57)->pos(), QPoint(56, 34));
    EXPECT_EQ(notes.Note(81)->pos(), QPoint(40, 16));
    EXPECT_EQ(notes.Note(87)->pos(), QPoint(96, 10));
    for (int k = 0; k < CDanceNoteDlg::kNotes; ++k) {
        EXPECT_TRUE(notes.rect().contains(notes.Note(k)->geometry())) << k;
        EXPECT_EQ(notes.Note(k)->size(), QSize(8, 8)) << k;
        EXPECT_EQ(notes.Note(k)->pos(), CDanceNoteDlg::NotePosition(k)) << k;
    }
    EXPECT_EQ(CDanceNoteDlg::NoteTip(0), QStringLiteral("A\r\n(0)"));
    EXPECT_EQ(CDanceNoteDlg::NoteTip(13), QStringLiteral("Bb\r\n(13)"));
    EXPECT_EQ(CDanceNoteDlg::NoteTip(87), QStringLiteral("C\r\n(87)"));
    EXPECT_EQ(notes.Note(39)->toolTip(), QStringLiteral("C\n(39)"));
}

TEST_F(NoteDisplay, WindowsLeaveTheRegistryWhenDestroyed) {
    {
        CKeyboardDlg keyboard(nullptr);
        CDanceNoteDlg notes(nullptr);
        ASSERT_EQ(rig.manage->GetKeyboard(), &keyboard);
        ASSERT_EQ(rig.manage->GetDancingNote(), &notes);
    }
    EXPECT_EQ(rig.manage->GetKeyboard(), nullptr);
    EXPECT_EQ(rig.manage->GetDancingNote(), nullptr);
    // The engine goes on telling nobody.
    rig.piano->PressKey(60, 100);
    EXPECT_TRUE(Eventually([&] { return rig.manage->GetKeyboardDisp(KeyOf(60)) == 1; }));
    CWinMsg::PumpMessages();
}

// Windows made while keys are held (the palette shown again, the panel opened during a
// recording) start with what the shared state holds.
TEST_F(NoteDisplay, WindowsMadeLaterShowWhatIsHeld) {
    ASSERT_EQ(rig.manage->SeqRec().GetCode(), ERR_VESK_OK);
    rig.piano->PressKey(60, 100);
    rig.piano->PressKey(64, 100);
    ASSERT_TRUE(Eventually([&] {
        return rig.manage->GetScoreDisp(KeyOf(64)) < 8 && rig.manage->GetKeyboardDisp(KeyOf(64));
    }));
    CKeyboardDlg keyboard(nullptr);
    CDanceNoteDlg notes(nullptr);
    notes.show();
    EXPECT_TRUE(KeyHeld(keyboard, 60));
    EXPECT_TRUE(KeyHeld(keyboard, 64));
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 60) >= 0 && Picture(notes, 64) >= 0; }));
    EXPECT_NE(Picture(notes, 60), Picture(notes, 64));
    EXPECT_EQ(VisibleNotes(notes), 2);
    rig.piano->ReleaseKey(60);
    rig.piano->ReleaseKey(64);
    EXPECT_TRUE(Eventually([&] { return VisibleNotes(notes) == 0; }));
}

// Run twice by CTest: as it is, every note starts hidden; with "notedisp" on the command line
// (the layout check) all 88 are visible from the start, and stay so.
TEST_F(NoteDisplay, NoteLayoutFollowsTheCommandLine) {
    CDanceNoteDlg notes(nullptr);
    notes.show();
    CWinMsg::PumpMessages();
    if (!CDanceNoteDlg::IsLayoutCheck()) {
        EXPECT_EQ(VisibleNotes(notes), 0);
        return;
    }
    EXPECT_EQ(VisibleNotes(notes), CDanceNoteDlg::kNotes);
    SaveShot(notes, QStringLiteral("dancing-notes-layout.png"));
    CWinMsg::PostMessage(&notes, CDanceNoteDlg::WM_NOTEDISP, Request(0, 88), 0);
    rig.manage->PostScoreNote(CDataInfo::kAllNotes, 0);
    CWinMsg::PumpMessages();
    CWinMsg::PumpMessages();
    EXPECT_EQ(VisibleNotes(notes), CDanceNoteDlg::kNotes);
}

// The edges of the keyboard and beyond: notes the 88 keys do not have, a silent note-on that
// ends a note, every key down at once.
TEST_F(NoteDisplay, TheWholeKeyboardAndNotesBeyondIt) {
    CKeyboardDlg keyboard(nullptr);
    CDanceNoteDlg notes(nullptr);
    keyboard.show();
    notes.show();
    ASSERT_EQ(rig.manage->SeqRec().GetCode(), ERR_VESK_OK);

    for (int note : {0, 20, 109, 127}) {
        rig.piano->PressKey(static_cast<std::uint8_t>(note), 100);
    }
    rig.piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return KeyHeld(keyboard, 60) && Picture(notes, 60) >= 0; }));
    for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
        EXPECT_EQ(keyboard.Key(k)->Checkd() != 0, k == KeyOf(60)) << k;
    }
    EXPECT_EQ(VisibleNotes(notes), 1);

    // A note-on of velocity 0 is a note-off.
    rig.piano->SendRaw({0x90, 60, 0});
    ASSERT_TRUE(Eventually([&] { return !KeyHeld(keyboard, 60) && Picture(notes, 60) < 0; }));

    // All 88 at once, from the lowest velocity up.
    for (int note = 21; note <= 108; ++note) {
        rig.piano->PressKey(static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(note));
    }
    const auto all = [&] {
        for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
            if (keyboard.Key(k)->Checkd() == 0 || !notes.Note(k)->isVisible()) {
                return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(Eventually(all));
    // The first and last keys take their pressed pictures like any other.
    EXPECT_EQ(keyboard.Key(0)->CurrentFrame(), 1);
    EXPECT_EQ(keyboard.Key(87)->CurrentFrame(), 1);
    for (int note = 21; note <= 108; ++note) {
        rig.piano->SendRaw({0x90, static_cast<std::uint8_t>(note), 0});
    }
    EXPECT_TRUE(Eventually([&] {
        for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
            if (keyboard.Key(k)->Checkd() != 0) {
                return false;
            }
        }
        return VisibleNotes(notes) == 0;
    }));
    for (int note : {0, 20, 109, 127}) {
        rig.piano->ReleaseKey(static_cast<std::uint8_t>(note));
    }
    CWinMsg::PumpMessages();
    EXPECT_EQ(VisibleNotes(notes), 0);
}

// Hidden, closed and shown again, over and over while notes come and go: the display always
// ends with what is held.
TEST_F(NoteDisplay, ShownAgainTheDisplaysMatchWhatIsHeld) {
    CKeyboardDlg keyboard(nullptr);
    CDanceNoteDlg notes(nullptr);
    keyboard.show();
    notes.show();
    ASSERT_EQ(rig.manage->SeqRec().GetCode(), ERR_VESK_OK);
    rig.piano->PressKey(60, 100);
    ASSERT_TRUE(Eventually([&] { return Picture(notes, 60) >= 0; }));

    for (int round = 0; round < 20; ++round) {
        const int note = 62 + round;
        if (round % 2 == 0) {
            notes.hide();
            keyboard.hide();
        } else {
            notes.close();
            keyboard.close();
        }
        rig.piano->PressKey(static_cast<std::uint8_t>(note), 90);
        if (round > 0) {
            rig.piano->ReleaseKey(static_cast<std::uint8_t>(note - 1));
        }
        CWinMsg::PumpMessages();
        notes.show();
        keyboard.show();
    }
    const auto settled = [&] {
        for (int k = 0; k < CKeyboardDlg::kKeys; ++k) {
            const bool wanted = k == KeyOf(60) || k == KeyOf(81);
            if ((keyboard.Key(k)->Checkd() != 0) != wanted ||
                notes.Note(k)->isVisible() != wanted) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(Eventually(settled));
    rig.piano->ReleaseKey(60);
    rig.piano->ReleaseKey(81);
    EXPECT_TRUE(Eventually([&] { return VisibleNotes(notes) == 0; }));
}

} // namespace
