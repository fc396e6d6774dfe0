#pragma once

#include "CFusion.h"
#include "CMessageReceiver.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>

class CIconWndButton;
class CTextWnd;

// The buttons of the message box report a click (on release) with these messages.
constexpr UINT WM_MSGBTN_OK = WM_USER + 56;     // 1080
constexpr UINT WM_MSGBTN_CANCEL = WM_USER + 57; // 1081
constexpr UINT WM_MSGBTN_YES = WM_USER + 58;    // 1082
constexpr UINT WM_MSGBTN_NO = WM_USER + 59;     // 1083

// The program's own message box: the text on the skin's gold panel, with the skin's buttons.
// Styles: 0 (OK), 1 (OK, Cancel), 4 (Yes, No); any other style shows OK. The result is the
// Windows button identifier (1 OK, 2 Cancel, 6 Yes, 7 No).
//
// Enter answers OK for styles 0 and 1; Escape (and the window manager's close) answers Cancel
// for style 1 only, so a Yes/No question is answered with its buttons and nothing else. The box
// stays on top of the other windows. Text wider than the screen is wrapped so that the box and
// its buttons always fit on the screen's available area; lines beyond the screen's height
// give way to a last line "…". "\r\n", "\n" and a lone "\r" each end a line.
class CMessageDlg : public CMessageReceiver<QDialog> {
public:
    // The box's colours, Windows colour values (0x00BBGGRR).
    static constexpr unsigned int kBackColour = 0xB3E9F9; // red 249, green 233, blue 179
    static constexpr unsigned int kTextColour = 0x586078; // red 120, green 96, blue 88
    static constexpr int kButtonSize = 41;                // the pictures are 40 x 41
    // The client area is never narrower: both buttons of a question stay inside it.
    static constexpr int kMinClientWidth = 92;

    explicit CMessageDlg(QWidget* owner = nullptr);
    ~CMessageDlg() override;

    void SetText(const QString& text, unsigned int style, const QString& caption);
    // Sizes the box around its measured text, places the buttons and centres the box over its
    // owner, or over the screen without one.
    void ResizeDlg();
    // Runs the box modally (a nested event loop: posted messages keep flowing) and returns
    // the answer.
    int DoModal();
    int Result() const { return m_result; }

    unsigned int Style() const { return m_style; }
    // The text as shown: wrapped to the screen where it was too wide ("\r\n" between lines).
    QString ShownText() const { return m_shown; }
    CTextWnd* TextBox() const { return m_textBox; }
    // The button that answers `id` (IDOK, IDCANCEL, IDYES, IDNO), null when the box has none.
    CIconWndButton* Button(int id) const;

    // The widest text box that still fits the box on `screen` (the available area's width).
    static int WidestText(int availableWidth, int frameWidth);
    // How many lines of text the box can show on a screen `availableHeight` pixels high.
    static int TallestLines(int availableHeight, int frameHeight, int lineDistance);
    // `text` ("\r\n" between lines) cut to `lines` lines, its last one "…" when it was cut.
    static QString FitLines(const QString& text, int lines);
    // `text` with every line that is wider than `width` pixels in `font` broken into lines
    // that fit (at word boundaries where there are any, anywhere in a word that alone is too
    // wide); lines are separated by "\r\n".
    static QString WrapText(const QString& text, const QFont& font, int width);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OnInitDialog();
    LRESULT OnOk(WPARAM, LPARAM);
    LRESULT OnCancel(WPARAM, LPARAM);
    LRESULT OnYes(WPARAM, LPARAM);
    LRESULT OnNo(WPARAM, LPARAM);
    void Answer(int result);
    void CreateButtons();
    void PlaceButtons();

    QPointer<QWidget> m_owner;
    QString m_text;
    QString m_shown;
    unsigned int m_style = 0;
    QString m_caption;
    CTextWnd* m_textBox = nullptr;
    // OK, Cancel, Yes, No; null where the style has none.
    std::array<CIconWndButton*, 4> m_buttons{};
    int m_result = 0;
    bool m_initialised = false;
};
