#include "CPlayAlong.h"
#include "CVirtualPiano.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class PlayAlong : public testing::Test {
protected:
    PlayAlong() {
        piano->SetActiveSensing(false);
        piano->SetMidiSink([](const std::uint8_t*, std::size_t) {});
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(button);
        layout->addWidget(field);
    }
    ~PlayAlong() override { piano->SetMidiSink(nullptr); }

    // A key goes to the child that has the keyboard, as Qt delivers it.
    void Key(QWidget* to, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = {},
             bool repeat = false) {
        QKeyEvent event(type, key, modifiers, QString(), repeat);
        QCoreApplication::sendEvent(to, &event);
    }
    void Tap(QWidget* to, int key) {
        Key(to, QEvent::KeyPress, key);
        Key(to, QEvent::KeyRelease, key);
    }
    // The notes the piano sent to the PC, as note-on (velocity) or note-off (0).
    std::vector<std::pair<int, int>> Played() {
        std::vector<std::pair<int, int>> notes;
        for (const auto& sent : piano->Sent()) {
            if (sent.bytes.size() == 3 && (sent.bytes[0] & 0xE0) == 0x80) {
                const bool on = (sent.bytes[0] & 0xF0) == 0x90 && sent.bytes[2] != 0;
                notes.emplace_back(sent.bytes[1], on ? sent.bytes[2] : 0);
            }
        }
        return notes;
    }

    std::shared_ptr<CVirtualPiano> piano = std::make_shared<CVirtualPiano>();
    QWidget window;
    QWidget* button = new QWidget;
    QLineEdit* field = new QLineEdit;
};

TEST_F(PlayAlong, TwoRowsPlayTheKeysAndPageKeysMoveThemAnOctave) {
    CPlayAlong along(&window, piano);
    Key(button, QEvent::KeyPress, Qt::Key_Z);
    EXPECT_EQ(piano->SoundingNotes(), (std::set<int>{48}));
    Key(button, QEvent::KeyPress, Qt::Key_Q);
    Key(button, QEvent::KeyPress, Qt::Key_2);
    EXPECT_EQ(piano->SoundingNotes(), (std::set<int>{48, 60, 61}));
    // Held keys repeat on the computer, not on the piano.
    Key(button, QEvent::KeyPress, Qt::Key_Z, {}, true);
    Key(button, QEvent::KeyRelease, Qt::Key_Z);
    Key(button, QEvent::KeyRelease, Qt::Key_Q);
    Key(button, QEvent::KeyRelease, Qt::Key_2);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    EXPECT_EQ(Played(), (std::vector<std::pair<int, int>>{
                            {48, 100}, {60, 100}, {61, 100}, {48, 0}, {60, 0}, {61, 0}}));

    // A key held across an octave change ends the note it started.
    Key(button, QEvent::KeyPress, Qt::Key_C);
    Tap(button, Qt::Key_PageUp);
    EXPECT_EQ(along.LowestNote(), 60);
    Tap(button, Qt::Key_C);
    Key(button, QEvent::KeyRelease, Qt::Key_C);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    // The octaves stop where the instrument's keys do.
    for (int i = 0; i < 10; ++i) {
        Tap(button, Qt::Key_PageDown);
    }
    EXPECT_EQ(along.LowestNote(), 24);
}

TEST_F(PlayAlong, ShortcutsTextFieldsAndOtherWindowsKeepTheirKeys) {
    CPlayAlong along(&window, piano);
    QWidget other;
    Tap(button, Qt::Key_F1);
    Key(button, QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    Tap(&other, Qt::Key_Z);
    // A text field with the keyboard takes its letters, also those it passes on.
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), field);
    Tap(field, Qt::Key_Z);
    Tap(&window, Qt::Key_Z);
    field->setReadOnly(true);
    Tap(field, Qt::Key_Z);
    along.SetEnabled(false);
    Tap(button, Qt::Key_Z);
    EXPECT_TRUE(Played().empty());
    along.SetEnabled(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setFocus();
    Tap(button, Qt::Key_Z);
    EXPECT_EQ(Played().size(), 2u);
}

TEST_F(PlayAlong, KeysHeldWhenTheWindowLosesTheKeyboardOrGoesAreReleased) {
    {
        CPlayAlong along(&window, piano);
        Key(button, QEvent::KeyPress, Qt::Key_X);
        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(&window, &deactivate);
        EXPECT_TRUE(piano->SoundingNotes().empty());
        Key(button, QEvent::KeyPress, Qt::Key_V);
    }
    EXPECT_TRUE(piano->SoundingNotes().empty());
}

TEST_F(PlayAlong, AKeyLetGoWithAModifierDownOrATextFieldFocusedStillEndsItsNote) {
    CPlayAlong along(&window, piano);
    window.show();
    QApplication::setActiveWindow(&window);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setFocus();
    // Ctrl, Alt or Meta pressed while a note is held turns no release into a shortcut.
    Key(button, QEvent::KeyPress, Qt::Key_Z);
    Key(button, QEvent::KeyPress, Qt::Key_X);
    Key(button, QEvent::KeyPress, Qt::Key_C);
    Key(button, QEvent::KeyRelease, Qt::Key_Z, Qt::ControlModifier);
    Key(button, QEvent::KeyRelease, Qt::Key_X, Qt::AltModifier | Qt::ShiftModifier);
    Key(button, QEvent::KeyRelease, Qt::Key_C, Qt::MetaModifier);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    // A click into a text field while a key is held: the field gets the keyboard, the note its
    // end.
    Key(button, QEvent::KeyPress, Qt::Key_V);
    field->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), field);
    Key(field, QEvent::KeyRelease, Qt::Key_V);
    EXPECT_TRUE(piano->SoundingNotes().empty());
    // The field still takes its letters.
    Tap(field, Qt::Key_B);
    EXPECT_EQ(Played().size(), 8u);
    // Shift pressed while 2 is held: the key comes up as @, with the same scan code.
    button->setFocus();
    QKeyEvent two(QEvent::KeyPress, Qt::Key_2, {}, 11, '2', 0, "2");
    QCoreApplication::sendEvent(button, &two);
    EXPECT_EQ(piano->SoundingNotes(), (std::set<int>{61}));
    QKeyEvent at(QEvent::KeyRelease, Qt::Key_At, Qt::ShiftModifier, 11, '@', 1, "@");
    QCoreApplication::sendEvent(button, &at);
    EXPECT_TRUE(piano->SoundingNotes().empty());
}

TEST_F(PlayAlong, WithoutAVirtualPianoItPlaysNothing) {
    CPlayAlong along(&window, nullptr);
    Tap(button, Qt::Key_Z);
    EXPECT_TRUE(Played().empty());
}

} // namespace
