#pragma once

#include <QString>

// Small services every deliverable needs: where the program keeps its files, and the version
// records of the program files.
class CVeskToy {
public:
    CVeskToy() = default;
    virtual ~CVeskToy();

    // The folder where the program keeps its own files: $CANTAVO_HOME when set, otherwise the
    // per-user application data folder. Never checked for existence.
    QString GenuinePath() const;
    QString GenuineFile(const QString& name) const;
    QString DataPath() const;
    QString DataFile(const QString& name) const;
    QString TempPath() const;
    QString TempFile(const QString& name) const;

    // The folder of the running executable.
    static QString ProgramFilesPath();

    // The string named key (for example "FileVersion") in the version record of file, or
    // empty. A bare file name is looked up beside the executable, then beside Cantakit.
    QString GetFileVersion(const QString& file, const QString& key) const;
};
