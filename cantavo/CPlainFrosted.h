#pragma once

#include "CIconWndFrosted.h"

// The shortcut palette's overlay without controls of its own: it blends its looks over the
// hall, changes look on a click and keeps that look in the shared state. Stands where the
// palette window goes until that window is part of the program (CCantavoView::MakeFrosted).
class CPlainFrosted : public CIconWndFrosted {
public:
    CPlainFrosted();
    ~CPlainFrosted() override;

protected:
    void ShowChildren(int command) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
