#pragma once

#include <cstdint>

class CTrace;
class CFusion;
class CTrade;
class CManage;
class CSysinfo;
class CDummy;
class QObject;

// The process-wide registry through which the lower libraries reach the central objects of
// the upper ones without linking upwards. It holds no data of its own: every CLast, even a
// temporary, sees the same slots. The registry never owns what it points to.
class CLast {
public:
    static void InitTrace(CTrace* trace);
    static void InitFusion(CFusion* fusion);
    static void InitTrade(CTrade* trade);
    static void InitManage(CManage* manage);
    static void InitSysinfo(CSysinfo* sysinfo);
    static void InitDummy(CDummy* dummy);
    static void InitHandle(QObject* handle);

    // The trace writer: the registered one, or the library's own writer.
    static CTrace& Trace();
    // The presenter: the registered one, or, before the application registered its own, a
    // stand-in that writes the message to standard error and answers "no" to questions.
    static CFusion& Fusion();
    // The engine services: the registered ones, or a stand-in that knows no device and drops
    // every report.
    static CDummy& Dummy();
    // These three have no stand-in; asking before registration is a programming error and
    // ends the process with a message rather than dereferencing nothing.
    static CTrade& Trade();
    static CManage& Manage();
    static CSysinfo& Sysinfo();
    static QObject* Handle();

    static bool HasFusion();
    static bool HasDummy();
    static bool HasTrade();
    static bool HasManage();
    static bool HasSysinfo();

    // Milliseconds since the system started, as a 32-bit count that wraps after about
    // 49.7 days.
    static std::uint32_t GetTickCount();
    // Stamps the last user activity with the current tick count.
    static void UpdateAccess();
    static std::uint32_t GetLastAccess();
    // Milliseconds between two tick counts; correct across the wrap of the 32-bit count, so
    // idle time stays measurable however long the system has been running.
    static std::uint32_t TickElapsed(std::uint32_t from, std::uint32_t to) { return to - from; }
    // Milliseconds since the last stamp.
    static std::uint32_t GetIdleTime();
};
