#pragma once

#include "WinTypes.h"

#include <initializer_list>
#include <vector>

// A receiver's table from message numbers to its named handlers, so that the handlers of each
// window stay visible in one place:
//
//     static const CMessageMap<CView> map{{WM_DATACHANGE, &CView::OnDataChange}, ...};
//     return map.Dispatch(this, message, wParam, lParam);
template <class Receiver>
class CMessageMap {
public:
    using Handler = LRESULT (Receiver::*)(WPARAM, LPARAM);
    struct Entry {
        UINT message;
        Handler handler;
    };

    CMessageMap(std::initializer_list<Entry> entries) : m_entries(entries) {}

    // Calls the handler of the message; 0 for a message the map does not name.
    LRESULT Dispatch(Receiver* receiver, UINT message, WPARAM wParam, LPARAM lParam) const {
        for (const Entry& entry : m_entries) {
            if (entry.message == message) {
                return (receiver->*entry.handler)(wParam, lParam);
            }
        }
        return 0;
    }

    bool Handles(UINT message) const {
        for (const Entry& entry : m_entries) {
            if (entry.message == message) {
                return true;
            }
        }
        return false;
    }

private:
    std::vector<Entry> m_entries;
};
