#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

// Makes sure that one program folder is used by one running program. The first start holds a
// lock file in the user's runtime folder and listens on a local socket; a later start finds
// the lock taken, asks the first one through the socket to raise its window and ends. A lock
// left by a crashed run names a process that no longer exists and is taken over.
//
// The lock and the socket are named after the program folder: two programs that keep their
// files in different folders never share anything, so they may run side by side.
class CSingleInstance : public QObject {
public:
    enum class Claim {
        First,       // this process is the one that runs
        RaisedOther, // another process runs and was asked to come forward
        OtherSilent, // another process holds the lock but did not answer
        Failed,      // the runtime folder cannot hold the lock
    };

    explicit CSingleInstance(const QString& programFolder, QObject* parent = nullptr);
    ~CSingleInstance() override;

    Claim Acquire();
    // The socket's name, the same for every process using the same program folder.
    QString ServerName() const { return m_name; }
    QString LockPath() const;

    // How long a later start waits for the first to take its request.
    void SetAnswerTime(int ms) { m_answerMs = ms; }

    // Called when a later start asks this process to bring its window forward.
    void SetRaiseHandler(std::function<void()> handler) { m_onRaise = std::move(handler); }

private:
    Claim Listen();
    void OnConnection();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_onRaise;
    int m_answerMs = 15000;
};
