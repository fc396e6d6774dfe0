#include "CPlainFrosted.h"

#include "CLast.h"
#include "CManage.h"
#include "CWinMsg.h"
#include "IconMessages.h"

CPlainFrosted::CPlainFrosted() = default;

CPlainFrosted::~CPlainFrosted() = default;

void CPlainFrosted::ShowChildren(int) {}

LRESULT CPlainFrosted::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DATACHANGE:
        // The look is the shared state's palette style, told by WM_FROSTEDSTYLE; a data
        // change carries nothing else for a palette without controls.
        return 0;
    case WM_PARENTCHANGE:
        CWinMsg::PostMessage(this, WM_FROSTEDSTYLE, static_cast<WPARAM>(-1), 0);
        return 0;
    case WM_CHANGED:
        if (CLast::HasManage()) {
            CLast::Manage().SetFrostedStyle(static_cast<FROSTED_STYLE>(FrostedFrame()));
        }
        return 0;
    default:
        return CIconWndFrosted::OnMessage(message, wParam, lParam);
    }
}
