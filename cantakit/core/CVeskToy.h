#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// Small services every deliverable needs: where the program keeps its files, a sorted
// recursive file search, the version records of the program files, the WAVE resources of a
// library, packing small numbers into a message parameter and pumping waiting messages.
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

    // Appends every file below folder to found and sorts all of found by the lower-case form
    // of its paths. Makes each folder it searches the current directory, and leaves the last
    // one current. Throws CVeskException when a folder cannot be entered; found is then left
    // as it was.
    void SearchDir(const QString& folder, std::vector<QString>& found);

    // The data of the "WAVE" resource name compiled into the library whose resources start at
    // ":/module/"; empty when there is none.
    QByteArray GetWaveResource(const QString& name, const QString& module) const;

    static void ConbineMessage(unsigned int high, unsigned int low, unsigned int& out);
    static void DivideMessage(unsigned int& high, unsigned int& low, unsigned int in);
    static void ConbineWord4Message(unsigned int first, unsigned int second, unsigned int third,
                                    unsigned int fourth, unsigned int& out);
    static void DivideWord4Message(unsigned int& first, unsigned int& second, unsigned int& third,
                                   unsigned int& fourth, unsigned int in);

    // Dispatches every message waiting in the calling thread's queue, then returns.
    static void PumpMessages();

private:
    void Search(const QString& folder, const QString& absolute, std::vector<QString>& found);
};
