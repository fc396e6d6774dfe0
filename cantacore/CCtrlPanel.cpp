#include "CCtrlPanel.h"

CCtrlPanel::~CCtrlPanel() = default;
