#include "CWinMsg.h"

#include "CMessageEvent.h"

#include <QCoreApplication>
#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>
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

// For each receiver, number and wParam posted with ReplaceMessageById: the serial of the one
// message that still counts. An earlier one still in the queue is dropped when it comes up.
using ReplaceableKey = std::tuple<QObject*, UINT, WPARAM>;
std::map<ReplaceableKey, std::uint64_t>& Latest() {
    static auto* latest = new std::map<ReplaceableKey, std::uint64_t>;
    return *latest;
}
std::uint64_t g_serial = 0;

// Forgets the replaceable messages of a receiver (every number when message is null).
void ForgetReplaceable(QObject* receiver, const UINT* message) {
    auto& latest = Latest();
    for (auto it = latest.lower_bound({receiver, 0, 0}); it != latest.end();) {
        if (std::get<0>(it->first) != receiver) {
            break;
        }
        if (message == nullptr || std::get<1>(it->first) == *message) {
            it = latest.erase(it);
        } else {
            ++it;
        }
    }
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
    ForgetReplaceable(receiver, nullptr);
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
        ForgetReplaceable(receiver, &message);
    }
}

bool CWinMsg::ReplaceMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::lock_guard<std::mutex> guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    QCoreApplication::removePostedEvents(receiver, CMessageEvent::TypeOf(message));
    ForgetReplaceable(receiver, &message);
    QCoreApplication::postEvent(receiver, new CMessageEvent(message, wParam, lParam));
    return true;
}

bool CWinMsg::ReplaceMessageById(QObject* receiver, UINT message, WPARAM id, LPARAM lParam) {
    const std::lock_guard<std::mutex> guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    // Qt removes posted events by type only, so the one that gave way stays in the queue and
    // is dropped when it comes up; its place in the order goes to the new one.
    auto* event = new CMessageEvent(message, id, lParam);
    event->SetSerial(++g_serial);
    Latest()[{receiver, message, id}] = event->Serial();
    QCoreApplication::postEvent(receiver, event);
    return true;
}

void CWinMsg::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<CWinMsg::Message> CWinMsg::Open(QObject* receiver, QEvent* event) {
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
    if (message->Serial() != 0) {
        // Only the latest of a replaceable message counts; it is delivered once.
        auto& latest = Latest();
        const auto it = latest.find({receiver, message->Message(), message->WParam()});
        if (it == latest.end() || it->second != message->Serial()) {
            return std::nullopt;
        }
        latest.erase(it);
    }
    return Message{message->Message(), message->WParam(), message->LParam()};
}
