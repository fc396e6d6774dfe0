#include "CKiroCriticalSection.h"

#include "CLast.h"
#include "CTrace.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

namespace {

// The requester names are only diagnostic, but several threads write them; a tiny spin lock
// per slot keeps the class and function of one requester together.
struct alignas(64) LockSlot {
    std::recursive_mutex mutex;
    std::atomic_flag nameBusy = ATOMIC_FLAG_INIT;
    const char* requesterClass = nullptr;
    const char* requesterFunction = nullptr;

    void SetRequester(const char* className, const char* functionName) {
        while (nameBusy.test_and_set(std::memory_order_acquire)) {
        }
        requesterClass = className;
        requesterFunction = functionName;
        nameBusy.clear(std::memory_order_release);
    }

    QString Requester() {
        while (nameBusy.test_and_set(std::memory_order_acquire)) {
        }
        const char* className = requesterClass;
        const char* functionName = requesterFunction;
        nameBusy.clear(std::memory_order_release);
        if (className == nullptr) {
            return {};
        }
        return QString::fromUtf8(className) + QStringLiteral("::") +
               QString::fromUtf8(functionName);
    }
};

// Created with the library and never destroyed: a thread still running while the process
// exits may hold or take a lock after static destruction has begun.
LockSlot* Table() {
    static LockSlot* const table = new LockSlot[CKiroCriticalSection::kSlotCount];
    return table;
}
[[maybe_unused]] LockSlot* const g_tableCreated = Table();

unsigned long Clamp(unsigned long slot) {
    return slot < CKiroCriticalSection::kSlotCount ? slot : CKiroCriticalSection::kSlotCount - 1;
}

// Names given as strings at run time are kept for the life of the process, so that a slot
// can point at them after the lock object is gone. The set only grows by distinct names.
const char* Intern(const QString& text) {
    static std::mutex lock;
    static auto* names = new std::set<std::string>;
    const std::lock_guard<std::mutex> guard(lock);
    return names->insert(text.toUtf8().toStdString()).first->c_str();
}

} // namespace

CKiroCriticalSection::CKiroCriticalSection(const char* className, const char* functionName,
                                           unsigned long slot)
    : m_class(className != nullptr ? className : ""),
      m_function(functionName != nullptr ? functionName : ""), m_slot(Clamp(slot)) {
    Enter();
}

CKiroCriticalSection::CKiroCriticalSection(const QString& className, const QString& functionName,
                                           unsigned long slot)
    : m_class(Intern(className)), m_function(Intern(functionName)), m_slot(Clamp(slot)) {
    Enter();
}

CKiroCriticalSection::CKiroCriticalSection(const CKiroCriticalSection& other)
    : m_class(other.m_class), m_function(other.m_function), m_slot(other.m_slot) {
    Enter();
}

CKiroCriticalSection& CKiroCriticalSection::operator=(const CKiroCriticalSection& other) {
    if (this == &other) {
        return *this;
    }
    const char* const previousClass = m_class;
    const char* const previousFunction = m_function;
    const unsigned long previousSlot = m_slot;
    m_class = other.m_class;
    m_function = other.m_function;
    m_slot = other.m_slot;
    Enter();
    LeaveSlot(previousSlot, previousClass, previousFunction);
    return *this;
}

CKiroCriticalSection::~CKiroCriticalSection() {
    Leave();
}

QString CKiroCriticalSection::Name() const {
    return QString::fromUtf8(m_class) + QStringLiteral("::") + QString::fromUtf8(m_function);
}

QString CKiroCriticalSection::Requester(unsigned long slot) {
    return Table()[Clamp(slot)].Requester();
}

void CKiroCriticalSection::Enter() {
    LockSlot& slot = Table()[m_slot];
    CTrace& trace = CLast::Trace();
    if (trace.IsEnabled()) {
        trace.TraceLine() << Name() << "(" << m_slot << "): in " << slot.Requester() << "\n";
    }
    slot.SetRequester(m_class, m_function);
    slot.mutex.lock();
}

void CKiroCriticalSection::Leave() {
    LeaveSlot(m_slot, m_class, m_function);
}

void CKiroCriticalSection::LeaveSlot(unsigned long number, const char* className,
                                     const char* functionName) {
    LockSlot& slot = Table()[number];
    CTrace& trace = CLast::Trace();
    if (trace.IsEnabled()) {
        trace.TraceLine() << className << "::" << functionName << "(" << number << "): out"
                          << "\n";
    }
    slot.SetRequester(nullptr, nullptr);
    slot.mutex.unlock();
}
