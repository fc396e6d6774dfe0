#pragma once

#include "WinTypes.h"

#include <QObject>
#include <optional>

class QEvent;

// Posts numbered messages to receivers on Qt's event loop, from any thread.
//
// Only registered receivers (see CMessageReceiver) can be posted to. Registration, posting,
// removal and unregistration share one lock, so a receiver that is being destroyed unregisters
// first and can never be posted to afterwards; what was still pending goes with the object.
class CWinMsg {
public:
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // Posts the message; false when the receiver is not (or no longer) registered or the
    // number is out of range.
    static bool PostMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam);
    // Removes the receiver's pending messages of this number.
    static void RemoveMessages(QObject* receiver, UINT message);
    // Removes the receiver's pending messages of this number and posts this one, in one step,
    // so a burst of changes leaves a single message that carries the latest parameters.
    static bool ReplaceMessage(QObject* receiver, UINT message, WPARAM wParam, LPARAM lParam);
    // Like ReplaceMessage, but only a pending message of this number with the same wParam is
    // replaced (WM_COMMAND messages of different commands coalesce each on their own): a
    // waiting one takes the new lParam in its place in the queue, otherwise one is posted.
    static bool ReplaceMessageById(QObject* receiver, UINT message, WPARAM id, LPARAM lParam);
    // Dispatches every message waiting in the calling thread's queue, then returns.
    static void PumpMessages();

    static bool IsRegistered(QObject* receiver);
    // The message an event carries, when it is one of ours.
    static std::optional<Message> Open(QEvent* event);

    static void Register(QObject* receiver);
    static void Unregister(QObject* receiver);
};
