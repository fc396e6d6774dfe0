#include "CDlgCtrl.h"

CDlgCtrl::~CDlgCtrl() = default;
