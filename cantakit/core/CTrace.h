#pragma once

#include "CVeskError.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

// The diagnostic call trace. It is off unless the process's command line contains "trace";
// then every thread writes its own log file, one indentation level per open scope, so lines
// of different threads never interleave. Tracing never fails the program: with tracing off,
// or when a log cannot be created, every operation does nothing.
class CTrace {
public:
    // One thread's log.
    class TraceSet {
    public:
        std::uint32_t threadId = 0;
        std::ofstream stream;
        std::uint32_t depth = 0;
    };

    // Reads the switches from the process's command line, names the logs after the program
    // folder, the start time and name, and registers itself as the process's writer.
    explicit CTrace(const QString& name);
    // A writer with explicit switches and folder that does not register itself.
    CTrace(const QString& name, const QString& commandLine, const QString& folder);
    // A copy has the same switches and base name but logs of its own.
    CTrace(const CTrace& other);
    virtual ~CTrace();

    // The writer that Cantakit creates while it loads ("Vesk"); it lives until the process
    // ends so that late static destructors can still trace.
    static CTrace& LibraryWriter();
    // The whole command line of this process, arguments separated by blanks.
    static QString ProcessCommandLine();

    void TraceStart(const QString& className, const QString& functionName);
    void TraceStart(const char* className, const char* functionName);

    void TraceEnd(const QString& value);
    void TraceEnd(int value);
    void TraceEnd(unsigned int value);
    void TraceEnd(unsigned long value);
    void TraceEnd(void* value);
    void TraceEnd(const CVeskError& value);
    void TraceEnd();

    CTrace& TraceLine();
    unsigned int GetLine();

    CTrace& operator<<(const QString& value);
    CTrace& operator<<(char value);
    CTrace& operator<<(unsigned char value);
    CTrace& operator<<(short value);
    CTrace& operator<<(unsigned short value);
    CTrace& operator<<(int value);
    CTrace& operator<<(unsigned int value);
    CTrace& operator<<(long value);
    CTrace& operator<<(unsigned long value);
    CTrace& operator<<(long long value);
    CTrace& operator<<(unsigned long long value);
    CTrace& operator<<(double value);
    CTrace& operator<<(char* value);
    CTrace& operator<<(const char* value);
    CTrace& operator<<(void* value);
    CTrace& operator<<(E_ERR_VESK value);

    CTrace& Flush();
    QString Time() const;
    void TraceBind();

    // Closes the log of a thread that ends; a later write from that thread number opens it
    // again and appends.
    void CloseThreadLog(unsigned long threadId);

    bool IsEnabled() const { return m_enabled; }
    bool IsTimed() const { return m_timed; }
    QString BaseName() const { return m_baseName; }

protected:
    // Finds or creates the log of a thread; hands back its TraceSet through set when asked.
    std::ostream& Attach(unsigned long threadId, TraceSet** set = nullptr);

private:
    CTrace& operator=(const CTrace&);

    // The calling thread's log, or null with tracing off.
    TraceSet* Current();
    template <typename T>
    CTrace& Write(const T& value);
    void WriteIndent(TraceSet& set);
    void WriteReturn(const std::string& value);

    bool m_enabled = false;
    bool m_timed = false;
    QString m_baseName;
    std::string m_baseNameLocal;
    std::uint64_t m_id;
    std::mutex m_setsLock;
    std::vector<std::unique_ptr<TraceSet>> m_sets;
    bool m_folderMade = false;
    std::ofstream m_unopened;
};
