#pragma once

#include "WinTypes.h"

#include <QEvent>
#include <cstdint>

// A posted window message: its number and its two parameters. Each message number has an
// event type of its own, so that pending messages of one number can be removed.
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

    // Non-zero for a message that a later one of the same number and wParam may replace.
    std::uint64_t Serial() const { return m_serial; }
    void SetSerial(std::uint64_t serial) { m_serial = serial; }

private:
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    std::uint64_t m_serial = 0;
};
