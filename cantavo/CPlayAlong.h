#pragma once

#include <QObject>

#include <array>
#include <memory>

class CVirtualPiano;
class QKeyEvent;
class QWidget;

// Plays the virtual ZQ31's keys from the computer keyboard, for trying the program without the
// instrument: the row Z S X D C V G B H N J M , L . ; / is an octave and a third from C3 with
// its black keys on the row above, and Q 2 W 3 E R 5 T 6 Y 7 U I 9 O 0 P the same from C4;
// Page Down and Page Up move both rows an octave. Keys are played while the given window is
// active and no text field has the focus; keys with Ctrl, Alt or Meta stay shortcuts.
//
// The program installs it with one line, next to its main window:
//     new CPlayAlong(&mainWindow, mmxVirtualPiano());
// With the machine's own devices (no virtual ZQ31) it does nothing.
class CPlayAlong : public QObject {
public:
    CPlayAlong(QWidget* window, std::shared_ptr<CVirtualPiano> piano);
    ~CPlayAlong() override;

    // The note of the leftmost key of the lower row (C3, 48, at first).
    int LowestNote() const { return m_base; }
    void SetEnabled(bool enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool OnKey(QObject* watched, QKeyEvent* event, bool press);
    void ReleaseAll();

    QWidget* m_window;
    std::shared_ptr<CVirtualPiano> m_piano;
    bool m_enabled = true;
    int m_base = 48;
    // The note each held computer key started, so an octave change never leaves one hanging.
    std::array<int, 128> m_held{};
    // The keyboard's scan code of each, to know it again under another name.
    std::array<quint32, 128> m_scan{};
};
