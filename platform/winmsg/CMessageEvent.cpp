#include "CMessageEvent.h"

CMessageEvent::CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
    : QEvent(TypeOf(message)), m_message(message), m_wParam(wParam), m_lParam(lParam) {}

CMessageEvent::~CMessageEvent() {
    if (m_replaceableFor != nullptr) {
        ForgetReplaceableMessage(this);
    }
}
