#include "CLast.h"
#include "CScorp.h"
#include "CTrace.h"
#include "CVeskError.h"
#include "QtPrinters.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <thread>

namespace {

class TraceLog : public testing::Test {
protected:
    void SetUp() override { m_folder = MakeTestFolder(QStringLiteral("trace")); }

    QStringList LogFiles() const {
        return QDir(m_folder).entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    }

    // The lines of the only log file of the folder.
    QStringList Lines() const {
        const QStringList files = LogFiles();
        EXPECT_EQ(files.size(), 1);
        if (files.size() != 1) {
            return {};
        }
        QFile file(m_folder + QLatin1Char('/') + files.first());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(file.readAll());
        EXPECT_FALSE(text.contains(QLatin1Char('\r')));
        if (text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
        }
        return text.split(QLatin1Char('\n'));
    }

    QString m_folder;
};

} // namespace

TEST_F(TraceLog, NestedScopesShowTheCallTree) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("/opt/cantavo/Cantavo trace"), m_folder);
    {
        CScorp view("CCantavoView", "OnRecord", trace);
        {
            CScorp manage("CManage", "SeqRec", trace);
            {
                CScorp recorder("CSequencerRec", "Start", trace);
                trace.TraceEnd(CVeskError());
            }
            trace.TraceEnd(CVeskError());
        }
    }
    const QStringList expected = {
        QStringLiteral("CCantavoView::OnRecord()"),
        QStringLiteral("{"),
        QStringLiteral("|CManage::SeqRec()"),
        QStringLiteral("|{"),
        QStringLiteral("||CSequencerRec::Start()"),
        QStringLiteral("||{"),
        QStringLiteral("|||return(0, \"\")"),
        QStringLiteral("||}"),
        QStringLiteral("||return(0, \"\")"),
        QStringLiteral("|}"),
        QStringLiteral("|return()"),
        QStringLiteral("}"),
    };
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(trace.GetLine(), 0u);
}

TEST_F(TraceLog, TimedLinesEndWithTheTime) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("Cantavo trace time"), m_folder);
    {
        CScorp scope("CManage", "SeqPlay", trace);
        trace.TraceEnd(1);
    }
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 4);
    const QRegularExpression timed(
        QStringLiteral("^CManage::SeqPlay\\(\\) \\.\\.\\. \\d\\d:\\d\\d:\\d\\d$"));
    EXPECT_TRUE(timed.match(lines[0]).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("{"));
    EXPECT_EQ(lines[2], QStringLiteral("|return(1)"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\} \\.\\.\\. \\d\\d:\\d\\d:\\d\\d$"))
                    .match(lines[3])
                    .hasMatch());
}

TEST_F(TraceLog, ReturnValuesAreWrittenInTheirOwnForms) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
    int object = 0;
    {
        CScorp scope("global", "Values", trace);
        trace.TraceLine() << "text " << QStringLiteral("ノート") << ' ' << -3 << ' ' << 7u << ' '
                          << ERR_VESK_FAILED << "\n";
        {
            CScorp inner("global", "Pointer", trace);
            trace.TraceEnd(static_cast<void*>(&object));
        }
        {
            CScorp inner("global", "Error", trace);
            trace.TraceEnd(CVeskError(QString(), QString(), ERR_VESK_FAILED, QString()));
        }
        trace.TraceEnd(QStringLiteral("midi.dat"));
    }
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[2], QStringLiteral("|text ノート -3 7 2"));
    EXPECT_EQ(lines[5],
              QStringLiteral("||return(0x%1)").arg(reinterpret_cast<quintptr>(&object), 0, 16));
    EXPECT_EQ(lines[9], QStringLiteral("||return(2, \"\")"));
    EXPECT_EQ(lines[11], QStringLiteral("|return(midi.dat)"));
}

TEST_F(TraceLog, ClosingALevelTwiceIsReported) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
    {
        CScorp outer("COuter", "Run", trace);
        {
            CScorp inner("CInner", "Run", trace);
            trace.TraceEnd(1);
            trace.TraceEnd(2);
        }
    }
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[4], QStringLiteral("||return(1)"));
    EXPECT_EQ(lines[5], QStringLiteral("|}"));
    EXPECT_EQ(lines[6], QStringLiteral("|return(2)"));
    EXPECT_EQ(lines[7], QStringLiteral("}"));
    EXPECT_EQ(lines[8], QStringLiteral("スコープが矛盾しています。[CInner::Run]"));
    EXPECT_EQ(trace.GetLine(), 0u);
}

TEST_F(TraceLog, ClosingAtTheTopDoesNotUnderflow) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
    trace.TraceEnd();
    EXPECT_EQ(trace.GetLine(), 0u);
    EXPECT_EQ(Lines(),
              (QStringList{QStringLiteral("return()"),
                           QStringLiteral("スコープが矛盾しています [0]"), QStringLiteral("}")}));
}

TEST_F(TraceLog, WithoutTheSwitchNothingIsWritten) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("Cantavo tracing-less TRACE"), m_folder);
    EXPECT_FALSE(trace.IsEnabled());
    {
        CScorp scope("CManage", "SeqRec", trace);
        trace.TraceLine() << "nothing"
                          << "\n";
        EXPECT_EQ(trace.GetLine(), 0u);
    }
    EXPECT_TRUE(LogFiles().isEmpty());
}

TEST_F(TraceLog, EachThreadWritesItsOwnFile) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
    const auto work = [&trace](const char* name) {
        for (int i = 0; i < 200; ++i) {
            CScorp scope("CWorker", name, trace);
            trace.TraceEnd(i);
        }
    };
    std::thread first(work, "First");
    std::thread second(work, "Second");
    first.join();
    second.join();

    const QStringList files = LogFiles();
    ASSERT_EQ(files.size(), 2);
    const QString prefix = QFileInfo(trace.BaseName()).fileName();
    const QRegularExpression name(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(prefix) + QStringLiteral("_[0-9a-f]{4,}\\.log")));
    for (const QString& file : files) {
        EXPECT_TRUE(name.match(file).hasMatch()) << file.toStdString();
        QFile log(m_folder + QLatin1Char('/') + file);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        // Each file holds one thread's calls, whole and unmixed.
        EXPECT_EQ(text.count(QStringLiteral("()\n{\n")), 200);
        EXPECT_NE(text.contains(QStringLiteral("CWorker::First")),
                  text.contains(QStringLiteral("CWorker::Second")));
    }
}

// Every reconnect of a device starts threads; their logs must not stay open after them, and
// nothing they wrote may be lost.
TEST_F(TraceLog, ThreadsThatEndCloseTheirLogsAndKeepWhatTheyWrote) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
    const auto openLogs = [this] {
        int count = 0;
        for (const QFileInfo& fd :
             QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
            count += fd.symLinkTarget().startsWith(m_folder) ? 1 : 0;
        }
        return count;
    };
    constexpr int kThreads = 64;
    for (int i = 0; i < kThreads; ++i) {
        std::thread([&trace, i] {
            const CScorp scope("CWorker", "Once", trace);
            trace.TraceEnd(i);
        }).join();
    }
    EXPECT_EQ(openLogs(), 0);
    int calls = 0;
    for (const QString& name : LogFiles()) {
        QFile log(m_folder + QLatin1Char('/') + name);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        calls += static_cast<int>(
            QString::fromUtf8(log.readAll()).count(QStringLiteral("CWorker::Once")));
    }
    EXPECT_EQ(calls, kThreads);
}

TEST_F(TraceLog, ALogThatCannotBeCreatedIsSilentlyDropped) {
    QFile blocker(m_folder + QStringLiteral("/not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"),
                 m_folder + QStringLiteral("/not-a-folder/below"));
    {
        CScorp scope("CManage", "SeqRec", trace);
        trace.TraceLine() << "lost"
                          << "\n";
        trace.TraceEnd(CVeskError());
    }
    EXPECT_EQ(trace.GetLine(), 0u);
    EXPECT_TRUE(LogFiles().isEmpty());
}

TEST_F(TraceLog, BaseNameCarriesFolderStartTimeAndName) {
    const CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x"), m_folder);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(m_folder) + QStringLiteral("/\\d{8}_\\d{6}_Vesk")));
    EXPECT_TRUE(pattern.match(trace.BaseName()).hasMatch()) << trace.BaseName().toStdString();
}

namespace {

// An object of a thread whose destructor still traces: it was made before the thread's first
// trace line, so it is destroyed after the trace's own per-thread bookkeeping.
struct CLateTracer {
    CTrace* trace = nullptr;
    ~CLateTracer() {
        if (trace != nullptr) {
            trace->TraceLine() << "late"
                               << "\n";
        }
    }
};
thread_local CLateTracer t_lateTracer;

} // namespace

// What a thread writes while it ends (a thread-local object's destructor) is kept, and its log
// is closed all the same.
TEST_F(TraceLog, ALineWrittenWhileAThreadEndsIsKeptAndItsLogClosed) {
    CTrace trace(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
    const auto openLogs = [this] {
        int count = 0;
        for (const QFileInfo& fd :
             QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
            count += fd.symLinkTarget().startsWith(m_folder) ? 1 : 0;
        }
        return count;
    };
    constexpr int kThreads = 32;
    for (int i = 0; i < kThreads; ++i) {
        std::thread([&trace] {
            t_lateTracer.trace = &trace;
            trace.TraceLine() << "early"
                              << "\n";
        }).join();
    }
    EXPECT_EQ(openLogs(), 0);
    int late = 0;
    for (const QString& name : LogFiles()) {
        QFile log(m_folder + QLatin1Char('/') + name);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        late += static_cast<int>(QString::fromUtf8(log.readAll()).count(QStringLiteral("late")));
    }
    EXPECT_EQ(late, kThreads);
}
