#pragma once

#include "CSystemCheck.h"

#include <QString>

// The small program shipped beside the Debian package: checks that the system can take it,
// asks, hands the package to the desktop's software installer and says that it started.
// It ends with status 0 whatever happens: what it shows is the only outcome it reports.
class CSetupLauncher {
public:
    explicit CSetupLauncher(CSystemCheck system);
    virtual ~CSetupLauncher();

    int Run();

    // The package file that the package build writes, looked for in the current folder.
    static QString PackageFile();
    static QString Caption();
    static QString TooOldText();
    static QString QuestionText();
    static QString StartedText();

protected:
    enum class Icon { Error, Information };

    // Shows a question with Yes and No; true for Yes.
    virtual bool Ask(const QString& text);
    virtual void Tell(const QString& text, Icon icon);
    // Opens the file with the desktop's default action for it; the outcome is not reported.
    virtual void Open(const QString& path);

private:
    CSystemCheck m_system;
};
