#include "CSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>

namespace {

constexpr QByteArrayView kRaise = "raise\n";
// How often a later start looks again for the first one's socket.
constexpr unsigned long kRetryMs = 50;

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
    QElapsedTimer waited;
    waited.start();
    const auto remaining = [&] { return std::max(0, m_answerMs - int(waited.elapsed())); };
    QLocalSocket socket;
    for (;;) {
        if (m_lock->tryLock(0)) {
            return Listen();
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            return Claim::Failed;
        }
        // A first start takes the lock a moment before its socket listens (two starts at
        // once): its socket is looked for again until the deadline, and the lock with it,
        // in case the holder ended meanwhile.
        socket.connectToServer(m_name);
        if (socket.waitForConnected(remaining())) {
            break;
        }
        if (remaining() == 0) {
            return Claim::OtherSilent;
        }
        QThread::msleep(kRetryMs);
    }
    socket.write(kRaise.data(), kRaise.size());
    if (!socket.waitForBytesWritten(remaining())) {
        return Claim::OtherSilent;
    }
    // The first closes the connection once it has read the request. A first that hangs
    // never does, and is never reported as having come forward.
    if (socket.state() != QLocalSocket::UnconnectedState &&
        !socket.waitForDisconnected(remaining())) {
        return Claim::OtherSilent;
    }
    return Claim::RaisedOther;
}

CSingleInstance::Claim CSingleInstance::Listen() {
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
