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
// Recursive: removing posted events deletes them, and a replaceable message's destructor
// takes the lock to forget itself.
std::recursive_mutex& Lock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}
using Guard = std::lock_guard<std::recursive_mutex>;

std::unordered_set<QObject*>& Receivers() {
    static auto* receivers = new std::unordered_set<QObject*>;
    return *receivers;
}

// For each receiver, number and wParam posted with ReplaceMessageById: the one message of
// them still waiting in the queue, which a replacement updates in place, so a burst leaves one
// queued event, not one per replacement.
using ReplaceableKey = std::tuple<QObject*, UINT, WPARAM>;
std::map<ReplaceableKey, CMessageEvent*>& Waiting() {
    static auto* waiting = new std::map<ReplaceableKey, CMessageEvent*>;
    return *waiting;
}

void Forget(const CMessageEvent* event) {
    auto& waiting = Waiting();
    const auto it = waiting.find({event->ReplaceableFor(), event->Message(), event->WParam()});
    if (it != waiting.end() && it->second == event) {
        waiting.erase(it);
    }
}

// Forgets the replaceable messages of a receiver (every number when message is null).
void ForgetReplaceable(QObject* receiver, const UINT* message) {
    auto& waiting = Waiting();
    for (auto it = waiting.lower_bound({receiver, 0, 0}); it != waiting.end();) {
        if (std::get<0>(it->first) != receiver) {
            break;
        }
        if (message == nullptr || std::get<1>(it->first) == *message) {
            it = waiting.erase(it);
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
    const Guard guard(Lock());
    Receivers().insert(receiver);
}

void CWinMsg::Unregister(QObject* receiver) {
    const Guard guard(Lock());
    Receivers().erase(receiver);
    ForgetReplaceable(receiver, nullptr);
}

bool CWinMsg::IsRegistered(QObject* receiver) {
    const Guard guard(Lock());
    return Receivers().count(receiver) != 0;
}

bool CWinMsg::PostMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam) {
    const Guard guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    QCoreApplication::postEvent(receiver, new CMessageEvent(message, wParam, lParam));
    return true;
}

void CWinMsg::RemoveMessages(QObject* receiver, UINT message) {
    const Guard guard(Lock());
    if (Postable(receiver, message)) {
        QCoreApplication::removePostedEvents(receiver, CMessageEvent::TypeOf(message));
        ForgetReplaceable(receiver, &message);
    }
}

bool CWinMsg::ReplaceMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam) {
    const Guard guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    QCoreApplication::removePostedEvents(receiver, CMessageEvent::TypeOf(message));
    ForgetReplaceable(receiver, &message);
    QCoreApplication::postEvent(receiver, new CMessageEvent(message, wParam, lParam));
    return true;
}

bool CWinMsg::ReplaceMessageById(QObject* receiver, UINT message, WPARAM id, LPARAM lParam) {
    const Guard guard(Lock());
    if (!Postable(receiver, message)) {
        return false;
    }
    auto& waiting = Waiting();
    const auto found = waiting.find({receiver, message, id});
    if (found != waiting.end()) {
        found->second->SetLParam(lParam);
        return true;
    }
    auto* event = new CMessageEvent(message, id, lParam);
    event->MakeReplaceable(receiver);
    waiting.emplace(ReplaceableKey{receiver, message, id}, event);
    QCoreApplication::postEvent(receiver, event);
    return true;
}

void CWinMsg::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<CWinMsg::Message> CWinMsg::Open(QEvent* event) {
    if (event == nullptr) {
        return std::nullopt;
    }
    const Guard guard(Lock());
    if (event->type() < QEvent::User || event->type() > QEvent::MaxUser) {
        return std::nullopt;
    }
    const auto* message = dynamic_cast<const CMessageEvent*>(event);
    if (message == nullptr) {
        return std::nullopt;
    }
    if (message->ReplaceableFor() != nullptr) {
        // Delivered now: a later replacement posts a message of its own.
        Forget(message);
    }
    return Message{message->Message(), message->WParam(), message->LParam()};
}

void ForgetReplaceableMessage(const CMessageEvent* event) {
    const Guard guard(Lock());
    Forget(event);
}
