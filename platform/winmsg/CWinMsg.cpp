#include "CWinMsg.h"

#include "CMessageEvent.h"

#include <QCoreApplication>
#include <mutex>
#include <unordered_set>

namespace {

// Held while a receiver is registered or unregistered and while anything is posted to or
// removed from it. Reading a delivered message takes it too: Qt's own queue locking is not
// visible to ThreadSanitizer, this lock makes the hand-over of the parameters visible.
std::mutex& Lock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::unordered_set<QObject*>& Receivers() {
    static auto* receivers = new std::unordered_set<QObject*>;
    return *receivers;
}

bool Postable(QObject* receiver, UINT message) {
    return receiver != nullptr && message <= CMessageEvent::kLargestMessage &&
           Receivers().count(receiver) != 0;
}

} // namespace

void CWinMsg::Register(QObject* receiver) {
    const std::lock_guard<std::mutex> guard(Lock());
    Receivers().insert(receiver);
}

void CWinMsg::Unregister(QObject* receiver) {
    const std::lock_guard<std::mutex> guard(Lock());
    Receivers().erase(receiver);
}

bool CWinMsg::IsRegistered(QObject* receiver) {
    const std::lock_guard<std::mutex> guard(Lock());
    return Receivers().count(receiver) != 0;
}

bool CWinMsg::PostMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::lock_guard<std::mutex> guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    QCoreApplication::postEvent(receiver, new CMessageEvent(message, wParam, lParam));
    return true;
}

void CWinMsg::RemoveMessages(QObject* receiver, UINT message) {
    const std::lock_guard<std::mutex> guard(Lock());
    if (Postable(receiver, message)) {
        QCoreApplication::removePostedEvents(receiver, CMessageEvent::TypeOf(message));
    }
}

bool CWinMsg::ReplaceMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::lock_guard<std::mutex> guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    QCoreApplication::removePostedEvents(receiver, CMessageEvent::TypeOf(message));
    QCoreApplication::postEvent(receiver, new CMessageEvent(message, wParam, lParam));
    return true;
}

void CWinMsg::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<CWinMsg::Message> CWinMsg::Open(QEvent* event) {
    if (event == nullptr) {
        return std::nullopt;
    }
    const std::lock_guard<std::mutex> guard(Lock());
    if (event->type() < QEvent::User || event->type() > QEvent::MaxUser) {
        return std::nullopt;
    }
    const auto* message = dynamic_cast<const CMessageEvent*>(event);
    if (message == nullptr) {
        return std::nullopt;
    }
    return Message{message->Message(), message->WParam(), message->LParam()};
}
