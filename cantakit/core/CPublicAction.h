#pragma once

#include "CKiroCriticalSection.h"

// The engine-wide transport lock: every start, stop and move of every worker takes it.
class CPublicAction : public CKiroCriticalSection {
public:
    static constexpr unsigned long kTransportSlot = 88;

    CPublicAction(const char* className, const char* functionName)
        : CKiroCriticalSection(className, functionName, kTransportSlot) {}
    CPublicAction(const QString& className, const QString& functionName)
        : CKiroCriticalSection(className, functionName, kTransportSlot) {}
};
