#include "CSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr QByteArrayView kRaise = "raise\n";
// How long a later start waits for the first one to take its request; the first may still
// be busy starting its engine.
constexpr int kAnswerMs = 15000;

QString RuntimeFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder;
}

} // namespace

CSingleInstance::CSingleInstance(const QString& programFolder, QObject* parent) : QObject(parent) {
    const QByteArray key =
        QCryptographicHash::hash(QDir::cleanPath(programFolder).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    m_name = QStringLiteral("cantavo-") + QString::fromLatin1(key);
}

CSingleInstance::~CSingleInstance() {
    if (m_server != nullptr) {
        m_server->close();
    }
}

QString CSingleInstance::LockPath() const {
    return RuntimeFolder() + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

CSingleInstance::Claim CSingleInstance::Acquire() {
    m_lock = std::make_unique<QLockFile>(LockPath());
    // A lock whose process is gone is stale at once; a living holder is never overruled.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        // A socket file left by a crashed run would make listen() fail; the lock says it is
        // nobody's now.
        QLocalServer::removeServer(m_name);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnConnection);
        // Without the socket the program still runs; a later start then only finds the lock.
        m_server->listen(m_name);
        return Claim::First;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        return Claim::Failed;
    }
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kAnswerMs)) {
        return Claim::OtherSilent;
    }
    socket.write(kRaise.data(), kRaise.size());
    const bool sent = socket.waitForBytesWritten(kAnswerMs);
    // The first process closes the connection once it has read the request.
    if (sent && socket.state() == QLocalSocket::ConnectedState) {
        socket.waitForDisconnected(kAnswerMs);
    }
    return sent ? Claim::RaisedOther : Claim::OtherSilent;
}

void CSingleInstance::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > 64) {
                    socket->disconnectFromServer();
                }
                return;
            }
            const QByteArray line = socket->readLine(64);
            socket->disconnectFromServer();
            if (line == kRaise && m_onRaise) {
                m_onRaise();
            }
        });
    }
}
