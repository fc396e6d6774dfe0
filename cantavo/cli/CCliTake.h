#pragma once

#include "CSoundFile.h"

// A take of the command line. Saving puts it into the album under the name given on the
// command line, as the window's save does with the name the user types; without a name an
// unsaved take stays where it is, in the temporary folder, rather than being lost.
class CCliTake : public CSoundFile {
public:
    explicit CCliTake(const QString& extension);
    ~CCliTake() override;

    // The album name, without folder and extension.
    void SetSaveName(const QString& name) { m_saveName = name; }
    // The album file the take went into, once saved.
    QString SavedPath() const { return m_savedPath; }

protected:
    int OnSaveFileDefine(int ask) override;

private:
    QString m_saveName;
    QString m_savedPath;
};
