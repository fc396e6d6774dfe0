#include "CScorp.h"

#include "CTrace.h"

// With tracing off a scope must cost next to nothing, so the name is only formed when it
// can be written.
CScorp::CScorp(const char* className, const char* functionName, CTrace& trace) : m_trace(trace) {
    if (!m_trace.IsEnabled()) {
        return;
    }
    m_name = QString::fromUtf8(className) + QStringLiteral("::") + QString::fromUtf8(functionName);
    m_depth = m_trace.GetLine();
    m_trace.TraceStart(className, functionName);
}

CScorp::CScorp(const QString& className, const QString& functionName, CTrace& trace)
    : m_trace(trace) {
    if (!m_trace.IsEnabled()) {
        return;
    }
    m_name = className + QStringLiteral("::") + functionName;
    m_depth = m_trace.GetLine();
    m_trace.TraceStart(className, functionName);
}

CScorp::~CScorp() {
    if (!m_trace.IsEnabled()) {
        return;
    }
    const unsigned int now = m_trace.GetLine();
    if (now > m_depth) {
        m_trace.TraceEnd();
    } else if (now < m_depth) {
        m_trace.TraceLine() << "スコープが矛盾しています。[" << m_name << "]"
                            << "\n";
    }
}
