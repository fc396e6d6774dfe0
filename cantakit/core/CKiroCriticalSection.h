#pragma once

#include <QString>

// Holding this object means holding one of the 256 numbered process-wide locks: the
// constructor enters the slot (waiting as long as needed, re-entrant for its own thread),
// the destructor leaves it. Each slot remembers who asked for it last, which the trace shows
// when somebody else asks.
class CKiroCriticalSection {
public:
    static constexpr unsigned long kSlotCount = 256;

    CKiroCriticalSection(const char* className, const char* functionName, unsigned long slot);
    CKiroCriticalSection(const QString& className, const QString& functionName, unsigned long slot);
    // A copy holds the same slot once more.
    CKiroCriticalSection(const CKiroCriticalSection& other);
    // Takes the other's slot first, then leaves its own, so the object always holds a slot.
    CKiroCriticalSection& operator=(const CKiroCriticalSection& other);
    virtual ~CKiroCriticalSection();

    QString Name() const;
    unsigned long Slot() const { return m_slot; }

    // The scope that last asked for a slot and has not yet released it; empty when none.
    static QString Requester(unsigned long slot);

private:
    void Enter();
    void Leave();
    static void LeaveSlot(unsigned long number, const char* className, const char* functionName);

    const char* m_class;
    const char* m_function;
    unsigned long m_slot;
};
