#pragma once

#include <QString>

class QWidget;

// Message-box styles and answers, with the values Windows gives them.
enum : unsigned int {
    MB_OK = 0,
    MB_OKCANCEL = 1,
    MB_YESNO = 4,
};
enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDYES = 6,
    IDNO = 7,
};

// How lower layers show a message to the user. The application implements it and registers
// its presenter in CLast; everyone else calls it through CLast::Fusion().
class CFusion {
public:
    CFusion() = default;
    virtual ~CFusion();

    // A modal message; returns the identifier of the chosen button (IDYES = 6 for Yes).
    virtual int ShowMessage(QString text, unsigned int style, QString caption) = 0;
    // Shows (true) or removes (false) the modeless waiting window over owner.
    virtual void ShowWaiting(QWidget* owner, bool show) = 0;
};
