#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

// The help documents shipped with the program, opened with the desktop's viewer. They are
// found beside the executable or in the installed share folder (../share/cantavo).
class CHelpDocument {
public:
    // What opening a document came to, with the shell's numbers so that the messages keep
    // their meaning.
    enum Result : int {
        FILE_NOT_FOUND = 2,
        NO_ASSOCIATION = 31,
        OPENED = 33,
    };
    using Opener = std::function<bool(const QUrl&)>;

    // The document of a help command (32815, 32816, 32817); empty for any other number.
    static QString NameOf(unsigned int command);
    // The folders searched, in order.
    static QStringList Folders();
    // The first existing file of that name in Folders(); empty when there is none.
    static QString Find(const QString& name);
    // Opens the document; the opener is QDesktopServices::openUrl unless a test set another.
    static Result Open(const QString& name);
    // The message of a result (empty: nothing is shown).
    static QString Message(int result);
    // Opens the document of the command and shows the message of a failure.
    static void OnHelp(unsigned int command);

    // For tests: another viewer, other folders (empty: the defaults again).
    static void SetOpener(Opener opener);
    static void SetFolders(const QStringList& folders);
};
