#pragma once

#include "CCliArguments.h"

#include <QString>
#include <optional>

class CCliPresenter;
class CCliSession;

// The subcommands of cantavo-cli. Each checks its words and options first (a mistake is
// status 2 and touches nothing), then does its work through the transport manager and the
// shared state exactly as the window does. Status 0 only on success.
class CCliCommands {
public:
    CCliCommands(const CCliArguments& arguments, CCliPresenter& presenter);

    int Run();

private:
    // The checks; each returns the error's text, empty when all is well.
    QString CheckArguments() const;
    static QString CheckName(const QString& name);
    static QString CheckInput(const QString& path, const QStringList& extensions);
    QString CheckNumber(const QString& option, double least, double most, bool whole) const;

    int Play();
    int Record();
    int Memo();
    int AudioPlay();
    int AudioRecord();
    int Mix();
    int Compress();
    int Metronome();
    int Settings();
    int Favourite();
    int Devices();
    int Album();

    // Copies a saved take where --copy-to says; true when there is nothing to copy or it was.
    bool CopyOut(const QString& saved);
    // Stops, saves and reports a take; the status of the command.
    int SaveTake(CCliSession& session, bool audio, const QString& name);
    // For tests without a pianist: plays the notes of CANTAVO_VIRTUAL_PLAY on the virtual
    // ZQ31 once a recording runs.
    static void PlayVirtualNotes(CCliSession& session);
    double Number(const QString& option, double fallback) const;
    // --seconds, when given.
    std::optional<double> Seconds() const;

    const CCliArguments& m_arguments;
    CCliPresenter& m_presenter;
    // --copy-to as an absolute path, empty when not given.
    QString m_copyTo;
};
