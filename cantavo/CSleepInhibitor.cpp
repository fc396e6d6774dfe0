#include "CSleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

const QString CSleepInhibitor::kWho = QStringLiteral("ZQ31 Concertino");
const QString CSleepInhibitor::kWhy =
    QStringLiteral("ZQ31 Concertino の実行中は、録音や再生が途切れないよう、"
                   "パソコンをスリープさせません。");

CSleepInhibitor::~CSleepInhibitor() {
    Release();
}

bool CSleepInhibitor::Acquire() {
    if (IsHeld()) {
        return true;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        m_reason = QStringLiteral("no system bus");
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << kWho << kWhy << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, 5000);
    if (!reply.isValid()) {
        m_reason = reply.error().message();
        return false;
    }
    // The inhibitor lasts as long as this copy of the descriptor stays open.
    m_fd = reply.value();
    m_reason.clear();
    return m_fd.isValid();
}

void CSleepInhibitor::Release() {
    m_fd = QDBusUnixFileDescriptor();
}
