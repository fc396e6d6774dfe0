#pragma once

#include "WinTypes.h"

#include <QEvent>

// A posted window message: its number and its two parameters. Each message number has an
// event type of its own, so that pending messages of one number can be removed.
class QObject;

class CMessageEvent : public QEvent {
public:
    // Message numbers up to this one map onto Qt's user event types.
    static constexpr UINT kLargestMessage = QEvent::MaxUser - QEvent::User;

    CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam);
    ~CMessageEvent() override;

    static QEvent::Type TypeOf(UINT message) {
        return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message));
    }

    UINT Message() const { return m_message; }
    WPARAM WParam() const { return m_wParam; }
    LPARAM LParam() const { return m_lParam; }

    // A message that a later one of the same number and wParam for the same receiver updates
    // in place while it waits (see CWinMsg::ReplaceMessageById).
    QObject* ReplaceableFor() const { return m_replaceableFor; }
    void MakeReplaceable(QObject* receiver) { m_replaceableFor = receiver; }
    void SetLParam(LPARAM lParam) { m_lParam = lParam; }

private:
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    QObject* m_replaceableFor = nullptr;
};

// Called by a replaceable message's destructor: it no longer waits to be updated.
void ForgetReplaceableMessage(const CMessageEvent* event);
