#include "CTrace.h"

#include "CLast.h"
#include "CVeskToy.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <pthread.h>
#include <sstream>
#include <unistd.h>

namespace {

std::atomic<std::uint64_t> g_nextWriterId{1};

// One cached log per thread, keyed by the writer's id (ids are never reused, so a destroyed
// writer can never be mistaken for a new one at the same address).
struct ThreadCache {
    std::uint64_t writer = 0;
    CTrace::TraceSet* set = nullptr;
};
thread_local ThreadCache t_cache;

// The writers alive now, by id, so that a thread that ends can close its logs in each.
std::mutex& WritersLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::map<std::uint64_t, CTrace*>& Writers() {
    static auto* writers = new std::map<std::uint64_t, CTrace*>;
    return *writers;
}

void Enrol(std::uint64_t id, CTrace* writer) {
    const std::lock_guard<std::mutex> guard(WritersLock());
    Writers()[id] = writer;
}

// The writers whose logs this thread opened. Plain thread-local data without a destructor, so
// a line traced by another thread-local object's destructor still finds it intact.
constexpr int kThreadWriters = 16;
thread_local std::uint64_t t_writers[kThreadWriters];
thread_local int t_writerCount = 0;

// Closes, when the thread ends, the logs it opened: a program that starts thousands of threads
// over a session must not keep a file open for each. A thread-specific key's destructor runs
// after the thread's C++ thread-local destructors (which may still trace), and again when one
// of them traced after it: the key is set anew whenever a log is opened.
void CloseThreadLogs(void*) {
    const auto threadId = static_cast<unsigned long>(gettid());
    {
        const std::lock_guard<std::mutex> guard(WritersLock());
        for (int i = 0; i < t_writerCount; ++i) {
            const auto found = Writers().find(t_writers[i]);
            if (found != Writers().end()) {
                found->second->CloseThreadLog(threadId);
            }
        }
    }
    t_writerCount = 0;
    t_cache = ThreadCache{};
}

pthread_key_t ThreadEndKey() {
    static const pthread_key_t key = [] {
        pthread_key_t created{};
        pthread_key_create(&created, &CloseThreadLogs);
        return created;
    }();
    return key;
}

// Remembers that this thread opened a log of the writer, to be closed when the thread ends.
void NoteThreadLog(std::uint64_t writer) {
    for (int i = 0; i < t_writerCount; ++i) {
        if (t_writers[i] == writer) {
            pthread_setspecific(ThreadEndKey(), &t_writerCount);
            return;
        }
    }
    if (t_writerCount < kThreadWriters) {
        t_writers[t_writerCount++] = writer;
    }
    pthread_setspecific(ThreadEndKey(), &t_writerCount);
}

QString LocalTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &local);
    return QString::fromLatin1(text, static_cast<qsizetype>(length));
}

std::string Indent(std::uint32_t depth) {
    return std::string(depth, '|');
}

// Created while Cantakit loads, so that the run's log names carry its start time.
[[maybe_unused]] const bool g_libraryWriterCreated = (CTrace::LibraryWriter(), true);

} // namespace

CTrace::CTrace(const QString& name) : CTrace(name, ProcessCommandLine(), CVeskToy().GenuinePath()) {
    CLast::InitTrace(this);
}

CTrace::CTrace(const QString& name, const QString& commandLine, const QString& folder)
    : m_enabled(commandLine.contains(QStringLiteral("trace"))),
      m_timed(commandLine.contains(QStringLiteral("time"))),
      m_baseName(folder + QLatin1Char('/') + LocalTime("%Y%m%d_%H%M%S_") + name),
      m_baseNameLocal(QFile::encodeName(m_baseName).toStdString()),
      m_id(g_nextWriterId.fetch_add(1)) {
    Enrol(m_id, this);
}

CTrace::CTrace(const CTrace& other)
    : m_enabled(other.m_enabled), m_timed(other.m_timed), m_baseName(other.m_baseName),
      m_baseNameLocal(other.m_baseNameLocal), m_id(g_nextWriterId.fetch_add(1)) {
    Enrol(m_id, this);
}

CTrace::~CTrace() {
    {
        const std::lock_guard<std::mutex> guard(WritersLock());
        Writers().erase(m_id);
    }
}

void CTrace::CloseThreadLog(unsigned long threadId) {
    const std::lock_guard<std::mutex> guard(m_setsLock);
    for (auto it = m_sets.begin(); it != m_sets.end(); ++it) {
        if ((*it)->threadId == static_cast<std::uint32_t>(threadId)) {
            // Every write was flushed; closing loses nothing.
            m_sets.erase(it);
            return;
        }
    }
}

CTrace& CTrace::LibraryWriter() {
    // Never destroyed: other libraries' static destructors may still trace at exit. Every
    // write is flushed at once, so nothing is lost by not closing the files.
    static CTrace* const writer = new CTrace(QStringLiteral("Vesk"));
    return *writer;
}

QString CTrace::ProcessCommandLine() {
    QFile file(QStringLiteral("/proc/self/cmdline"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = file.readAll();
    while (bytes.endsWith('\0')) {
        bytes.chop(1);
    }
    bytes.replace('\0', ' ');
    return QString::fromLocal8Bit(bytes);
}

std::ostream& CTrace::Attach(unsigned long threadId, TraceSet** set) {
    if (set != nullptr) {
        *set = nullptr;
    }
    if (!m_enabled) {
        return m_unopened;
    }
    const std::lock_guard<std::mutex> guard(m_setsLock);
    for (const auto& existing : m_sets) {
        if (existing->threadId == threadId) {
            if (set != nullptr) {
                *set = existing.get();
            }
            return existing->stream;
        }
    }
    if (!m_folderMade) {
        m_folderMade = true;
        QDir().mkpath(QFileInfo(m_baseName).absolutePath());
    }
    auto* created = m_sets.emplace_back(std::make_unique<TraceSet>()).get();
    created->threadId = static_cast<std::uint32_t>(threadId);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%04lx.log", threadId);
    // A log that cannot be opened stays in its failed state and swallows what is written.
    // Appended to: a later thread that gets the number of one that ended continues its log.
    created->stream.open(m_baseNameLocal + suffix, std::ios::out | std::ios::app);
    if (set != nullptr) {
        *set = created;
    }
    return created->stream;
}

CTrace::TraceSet* CTrace::Current() {
    if (!m_enabled) {
        return nullptr;
    }
    if (t_cache.writer != m_id) {
        TraceSet* set = nullptr;
        Attach(static_cast<unsigned long>(gettid()), &set);
        t_cache = ThreadCache{m_id, set};
        NoteThreadLog(m_id);
    }
    return t_cache.set;
}

template <typename T>
CTrace& CTrace::Write(const T& value) {
    if (TraceSet* set = Current()) {
        set->stream << value;
        set->stream.flush();
    }
    return *this;
}

void CTrace::WriteIndent(TraceSet& set) {
    set.stream << Indent(set.depth);
}

void CTrace::TraceStart(const QString& className, const QString& functionName) {
    TraceStart(className.toUtf8().constData(), functionName.toUtf8().constData());
}

void CTrace::TraceStart(const char* className, const char* functionName) {
    TraceSet* set = Current();
    if (set == nullptr) {
        return;
    }
    const std::string indent = Indent(set->depth);
    set->stream << indent << className << "::" << functionName << "()"
                << Time().toUtf8().constData() << "\n"
                << indent << "{\n";
    set->stream.flush();
    ++set->depth;
}

void CTrace::WriteReturn(const std::string& value) {
    TraceSet* set = Current();
    if (set == nullptr) {
        return;
    }
    WriteIndent(*set);
    set->stream << "return(" << value << ")\n";
    set->stream.flush();
    TraceBind();
}

void CTrace::TraceEnd(const QString& value) {
    if (m_enabled) {
        WriteReturn(value.toUtf8().toStdString());
    }
}

void CTrace::TraceEnd(int value) {
    if (m_enabled) {
        WriteReturn(std::to_string(value));
    }
}

void CTrace::TraceEnd(unsigned int value) {
    if (m_enabled) {
        WriteReturn(std::to_string(value));
    }
}

void CTrace::TraceEnd(unsigned long value) {
    if (m_enabled) {
        WriteReturn(std::to_string(value));
    }
}

void CTrace::TraceEnd(void* value) {
    if (m_enabled) {
        // "0x" and the address in hexadecimal digits, without the stream's own prefix.
        std::ostringstream text;
        text << "0x" << std::hex << reinterpret_cast<std::uintptr_t>(value);
        WriteReturn(text.str());
    }
}

void CTrace::TraceEnd(const CVeskError& value) {
    if (m_enabled) {
        WriteReturn(std::to_string(static_cast<int>(value.GetCode())) + ", \"" +
                    value.GetStr().toUtf8().toStdString() + "\"");
    }
}

void CTrace::TraceEnd() {
    if (m_enabled) {
        WriteReturn(std::string());
    }
}

void CTrace::TraceBind() {
    TraceSet* set = Current();
    if (set == nullptr) {
        return;
    }
    if (set->depth > 0) {
        --set->depth;
        WriteIndent(*set);
    } else {
        set->stream << "スコープが矛盾しています [" << set->depth << "]\n";
    }
    set->stream << "}" << Time().toUtf8().constData() << "\n";
    set->stream.flush();
}

CTrace& CTrace::TraceLine() {
    if (TraceSet* set = Current()) {
        WriteIndent(*set);
        set->stream.flush();
    }
    return *this;
}

unsigned int CTrace::GetLine() {
    TraceSet* set = Current();
    return set != nullptr ? set->depth : 0;
}

CTrace& CTrace::operator<<(const QString& value) {
    if (!m_enabled) {
        return *this;
    }
    return Write(value.toUtf8().constData());
}
CTrace& CTrace::operator<<(char value) {
    return Write(value);
}
CTrace& CTrace::operator<<(unsigned char value) {
    return Write(value);
}
CTrace& CTrace::operator<<(short value) {
    return Write(value);
}
CTrace& CTrace::operator<<(unsigned short value) {
    return Write(value);
}
CTrace& CTrace::operator<<(int value) {
    return Write(value);
}
CTrace& CTrace::operator<<(unsigned int value) {
    return Write(value);
}
CTrace& CTrace::operator<<(long value) {
    return Write(value);
}
CTrace& CTrace::operator<<(unsigned long value) {
    return Write(value);
}
CTrace& CTrace::operator<<(long long value) {
    return Write(value);
}
CTrace& CTrace::operator<<(unsigned long long value) {
    return Write(value);
}
CTrace& CTrace::operator<<(double value) {
    return Write(value);
}
CTrace& CTrace::operator<<(char* value) {
    return Write(value != nullptr ? static_cast<const char*>(value) : "(null)");
}
CTrace& CTrace::operator<<(const char* value) {
    return Write(value != nullptr ? value : "(null)");
}
CTrace& CTrace::operator<<(void* value) {
    return Write(static_cast<const void*>(value));
}
CTrace& CTrace::operator<<(E_ERR_VESK value) {
    return Write(static_cast<int>(value));
}

CTrace& CTrace::Flush() {
    if (TraceSet* set = Current()) {
        set->stream.flush();
    }
    return *this;
}

QString CTrace::Time() const {
    if (!m_timed) {
        return {};
    }
    return LocalTime(" ... %H:%M:%S");
}
