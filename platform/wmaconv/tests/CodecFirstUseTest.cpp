#include "AudioTestFiles.h"
#include "CSimplePlayer.h"
#include "CWmaCompress.h"
#include "TestHome.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

// The codec module is loaded by whichever use comes first; in the program that may be a
// player and a compression started at the same moment on threads of their own. The case runs
// in a process of its own, so that its uses really are the first.

namespace {

constexpr const char* kChildVariable = "CANTAVO_CODEC_FIRST_USE_CHILD";

TEST(CodecFirstUse, PlayersAndCompressionsStartedTogetherAllFindTheModule) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/proc/self/exe"),
                  {QStringLiteral("--gtest_filter=CodecFirstUseChild.*")});
    ASSERT_TRUE(process.waitForFinished(240000));
    const std::string output = process.readAll().toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(process.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST(CodecFirstUseChild, ThreadsStartedTogether) {
    if (std::getenv(kChildVariable) == nullptr) {
        GTEST_SKIP() << "run by CodecFirstUse.* in a process of its own";
    }
    const QString folder = MakeTestFolder(QStringLiteral("codec-first-use"));
    const QString source = folder + QStringLiteral("/take.wav");
    ASSERT_TRUE(audiotest::WriteFile(
        source, audiotest::WaveImage(audiotest::Signal(4410, 2, 44100), 2, 44100)));
    const QByteArray sourceName = QFile::encodeName(source);
    constexpr int kEach = 3;
    std::atomic<bool> go{false};
    std::atomic<int> ready{0};
    std::vector<HRESULT> durations(kEach, E_FAIL);
    std::vector<HRESULT> compressions(kEach, E_FAIL);
    std::vector<std::thread> threads;
    for (int i = 0; i < kEach; ++i) {
        threads.emplace_back([&, i] {
            HRESULT made = E_FAIL;
            CSimplePlayer player(&made, nullptr, nullptr, nullptr);
            ++ready;
            while (!go) {
                std::this_thread::yield();
            }
            DWORD duration = 0;
            durations[i] =
                made == S_OK ? player.GetDuration(sourceName.constData(), &duration) : made;
        });
        threads.emplace_back([&, i] {
            CWmaCompress compress;
            const QByteArray destination =
                QFile::encodeName(folder + QStringLiteral("/take-%1.wma").arg(i));
            ++ready;
            while (!go) {
                std::this_thread::yield();
            }
            compressions[i] = compress.Convert(sourceName.constData(), destination.constData());
        });
    }
    while (ready < 2 * kEach) {
        std::this_thread::yield();
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kEach; ++i) {
        EXPECT_EQ(durations[i], S_OK) << i;
        EXPECT_EQ(compressions[i], S_OK) << i;
    }
}

} // namespace
