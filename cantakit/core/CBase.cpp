#include "CBase.h"

#include "CLast.h"

CBase::CBase() {
    CLast::UpdateAccess();
}

CBase::CBase(const CBase&) {
    CLast::UpdateAccess();
}

CBase::~CBase() {
    CLast::UpdateAccess();
}
