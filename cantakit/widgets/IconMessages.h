#pragma once

#include "WinTypes.h"

// The numbers through which the icon windows and simple controls talk to each other and to the
// windows that hold them. They are posted with CWinMsg, never sent; each receiver dispatches
// them in its OnMessage.

// An icon window's click, posted to its mask's parent unless the mask names another number;
// wParam is the sending window (CIconWnd*), lParam 0.
constexpr UINT WM_ICONCLICK = WM_USER; // 1024
// To a CIconWnd: select a frame. wParam: the frame index in the low word and a show command in
// the high word, or -1 to keep the frame. lParam: x in the low word and y in the high word of
// the point the window's bottom centre moves to, or -1 to leave it in place. The engine posts
// the same number when the model changed; a selfish character posts it to its mask's parent
// when its idle performance starts and ends.
constexpr UINT WM_DATACHANGE = WM_USER + 22; // 1046
// To a CIconWndSelfish: show frame wParam of the current character.
constexpr UINT WM_SELFISHFRAME = WM_USER + 27; // 1051
// To every child registered with CIconWnd::SetChild: the picture under it changed.
constexpr UINT WM_PARENTCHANGE = WM_USER + 28; // 1052
// To a CIconWndFrosted: rebuild and show the blend; wParam is a frame index or -1 for the
// current one.
constexpr UINT WM_FROSTEDSTYLE = WM_USER + 29; // 1053
// To a CIconWndSelfish: perform the idle animation now.
constexpr UINT WM_SELFISHANIMATION = WM_USER + 31; // 1055
// A control's value changed: a frosted overlay to itself after a click changed its style, a
// slider to its parent on press, release and leave.
constexpr UINT WM_CHANGED = WM_USER + 32; // 1056
// A text box to itself after each paint.
constexpr UINT WM_AFTERPAINT = WM_USER + 256; // 1280

// Timer identifiers.
constexpr int TIMER_SELFISH = 1040; // the character's idle check
constexpr int TIMER_REPEAT = 1041;  // a button's auto-repeat

// Show commands carried in the high word of WM_DATACHANGE's wParam.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// wParam and lParam values that mean "keep".
constexpr WPARAM kKeepFrameParam = static_cast<WPARAM>(-1);
constexpr LPARAM kKeepPlaceParam = -1;

// Packs two 16-bit words into one message parameter, as the frame and slide words expect.
constexpr LPARAM MakeLong(int low, int high) {
    return static_cast<LPARAM>((static_cast<unsigned>(high & 0xFFFF) << 16) |
                               static_cast<unsigned>(low & 0xFFFF));
}
