#pragma once

#include <QString>

// The text of the about window: the product and its version, the legal notices, and the list
// of the program files with the versions read from their version records.
class CAboutText {
public:
    // The program files in the order the list shows them; "VeskSystem" stands before the
    // audio library.
    static QString VersionList();
    // The notices of the program and of every library it ships with or links.
    static QString LegalNotices();
    static QString Text();
    // The text with the window's CR LF line ends turned into a terminal's LF.
    static QString ForTerminal(const QString& text);
};
