#pragma once

#include "CIconWnd.h"

#include <QPoint>
#include <array>

// The dancing notes over the MIDI panel's staff: one small note per key, shown while the key
// sounds in a recording or in a file being played, each new note with the next of the eight
// note pictures. It re-reads the shared state's score display on WM_DATACHANGE and takes one
// key at a time by WM_NOTEDISP.
//
// With "notedisp" on the process's command line every note is shown from the start and never
// hidden (a check of the layout); requests still choose pictures.
//
// The window registers itself as the engine's dancing note (CDlgCtrl::SetDancingNote) while
// it exists.
class CDanceNoteDlg : public CIconWnd {
public:
    // wParam: the note picture in the high word (0..7; a larger one hides the note), the key
    // (0 = A0 ... 87 = C8) in the low word; a key above 87 hides every note.
    static constexpr UINT WM_NOTEDISP = WM_USER + 24; // 1048
    static constexpr int kNotes = 88;
    static constexpr int kPictures = 8;
    // The frame an icon has not got: the note hides.
    static constexpr WPARAM kHideFrame = 0x7FFFFFFF;
    // Where the staff goes in the MIDI panel, below the file name.
    static constexpr QPoint kPlace{12, 36};

    // Creates the staff at `at` in parent (a top-level window without one) with its 88 notes,
    // registers it and shows what the shared state holds.
    explicit CDanceNoteDlg(QWidget* parent, QPoint at = kPlace);
    ~CDanceNoteDlg() override;

    CIconWnd* Note(int key) const;
    // The picture the next new note gets.
    int Counter() const { return m_counter; }
    // Where the note of `key` stands on the staff (its top-left corner).
    static QPoint NotePosition(int key);
    // The note's tip as the program writes it: the name, a line break, the key in brackets.
    static QString NoteTip(int key);
    // True when the process's command line asks for the layout check.
    static bool IsLayoutCheck();

protected:
    int OnInitialWnd() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnScoreChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnNoteDisp(WPARAM wParam, LPARAM lParam);
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateNote();
    // Posts the frame to the note of `key`, keeping track of what it will show.
    void ShowNote(int key, WPARAM frame);
    void HideAll();

    std::array<CIconWnd*, kNotes> m_notes{};
    // What each note shows once its posted messages are handled: whether a note is visible
    // cannot be read from the window while a message to it is on its way.
    std::array<bool, kNotes> m_shown{};
    int m_counter = 0;
    bool m_layoutCheck = false;
};
