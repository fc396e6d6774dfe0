#pragma once

#include <QString>
#include <cstdint>

class CTrace;

// The trace scope every public operation opens on entry. When the function returns without
// tracing a result, the scope closes the level itself; when a level was closed twice, it
// says so in the log.
class CScorp {
public:
    CScorp(const char* className, const char* functionName, CTrace& trace);
    CScorp(const QString& className, const QString& functionName, CTrace& trace);
    CScorp(const CScorp&) = delete;
    CScorp& operator=(const CScorp&) = delete;
    virtual ~CScorp();

    CTrace& GetTrace() { return m_trace; }

private:
    CTrace& m_trace;
    QString m_name;
    std::uint32_t m_depth = 0;
};
