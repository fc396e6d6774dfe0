#pragma once

#include "CWinMsg.h"

#include <QEvent>
#include <utility>

// Turns a QObject or QWidget class into a receiver of window messages. The derived class
// handles them in one place, OnMessage, typically through a CMessageMap.
template <class Base>
class CMessageReceiver : public Base {
public:
    template <typename... Args>
    explicit CMessageReceiver(Args&&... args) : Base(std::forward<Args>(args)...) {
        CWinMsg::Register(this);
    }
    CMessageReceiver(const CMessageReceiver&) = delete;
    CMessageReceiver& operator=(const CMessageReceiver&) = delete;
    ~CMessageReceiver() override { CWinMsg::Unregister(this); }

protected:
    // The receiver's message map; returns the handler's result.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    bool event(QEvent* event) override {
        if (const auto message = CWinMsg::Open(event)) {
            OnMessage(message->message, message->wParam, message->lParam);
            return true;
        }
        return Base::event(event);
    }
};
