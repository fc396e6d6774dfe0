#pragma once

#include "CKiroCriticalSection.h"

// A lock on the given slot, guarding one item or one device path.
class CPrivateAction : public CKiroCriticalSection {
public:
    CPrivateAction(unsigned int slot, const char* className, const char* functionName)
        : CKiroCriticalSection(className, functionName, slot) {}
    CPrivateAction(unsigned int slot, const QString& className, const QString& functionName)
        : CKiroCriticalSection(className, functionName, slot) {}
};
