#pragma once

#include "CIconWnd.h"

#include <QRect>
#include <array>

class CIconWndButton;

// The piano's 88 keys below the main picture, pressed and released by what is played: the
// shared state's keyboard display (re-read on WM_DATACHANGE), or one key at a time by
// WM_KEYBOARDDISP. The keys never take the mouse.
//
// The window lies in the shortcut palette's keyboard area. It registers itself as the
// engine's keyboard (CDlgCtrl::SetKeyboard) while it exists.
class CKeyboardDlg : public CIconWnd {
public:
    // wParam: the state in the high word (non-zero: pressed), the key (0 = A0 ... 87 = C8) in
    // the low word; a key above 87 releases all of them.
    static constexpr UINT WM_KEYBOARDDISP = WM_USER + 25; // 1049
    static constexpr int kKeys = 88;
    // The palette's keyboard area, in the palette's coordinates.
    static constexpr QRect kPlace{30, 447, 718, 55};
    // Where the keys stand on the keyboard's background.
    static constexpr int kKeysTop = 12;
    static constexpr int kFirstKeyLeft = 68;

    // Creates the keyboard at `place` in parent (a top-level window without one) with all its
    // keys, registers it and shows what the shared state holds.
    explicit CKeyboardDlg(QWidget* parent, const QRect& place = kPlace);
    ~CKeyboardDlg() override;

    CIconWndButton* Key(int index) const;
    // The name of key `index` with its octave, "A0" to "C8".
    static QString KeyName(int index);
    // Where key `index` stands on the keyboard's background.
    static QPoint KeyPosition(int index);
    static bool IsBlackKey(int index);

protected:
    int OnInitialWnd() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnKeyboardChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnKeyboardDisp(WPARAM wParam, LPARAM lParam);
    void showEvent(QShowEvent* event) override;

private:
    void Press(int index, bool pressed);

    std::array<CIconWndButton*, kKeys> m_keys{};
};
