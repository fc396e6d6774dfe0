#pragma once

#include "CMessageReceiver.h"
#include "CWinMsg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWidget>
#include <vector>

// A window that keeps every message posted to it, for tests of windows that notify their
// parent.
class MessageLog : public CMessageReceiver<QWidget> {
public:
    explicit MessageLog(QWidget* parent = nullptr) : CMessageReceiver<QWidget>(parent) {}

    std::vector<CWinMsg::Message> messages;

    int Count(UINT message) const {
        int count = 0;
        for (const auto& m : messages) {
            count += m.message == message ? 1 : 0;
        }
        return count;
    }
    // Delivers what is waiting, then answers Count.
    int Settled(UINT message) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return Count(message);
    }
    // Waits (up to 15 s) until count messages of this number have arrived.
    bool WaitFor(UINT message, int count) {
        QDeadlineTimer deadline(15000);
        while (Count(message) < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return Count(message) >= count;
    }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back({message, wParam, lParam});
        return 0;
    }
};
