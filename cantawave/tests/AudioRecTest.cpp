#include "CAudioRec.h"
#include "CKiroCriticalSection.h"
#include "CLast.h"
#include "CVirtualPiano.h"
#include "TestHome.h"
#include "mmsystem.h"
#include "mmsystemx.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>
#include <mutex>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Bytes = std::vector<unsigned char>;
using namespace std::chrono_literals;

const QString kDiskFull = QStringLiteral("ハードディスクの空き容量が足りません。");
const QString kSaveFailed = QStringLiteral("オーディオファイルの保存に失敗しました。");
const QString kLengthLimit =
    QStringLiteral("録音できる長さの上限（約6時間45分）に達したため、録音を終了しました。");
const QString kNoDevice = QStringLiteral("オーディオデバイスを使用することができません。\r\n"
                                         "ZQ31本体と正しく接続されているかを確認してください。");

template <typename Condition>
bool Eventually(Condition done, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The engine as the recorder sees it: the piano's wave input, and what it is told.
class CListeningEngine : public CDummy {
public:
    unsigned int GetWaveOutDev() override { return 0; }
    unsigned int GetWaveInDev() override { return 0; }
    void PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) override {
        levels.fetch_add(1);
        lastLeft.store(left);
        lastRight.store(right);
    }
    void StopAudPlayFromMiddle() override {}
    void PostAudTimeDisp(unsigned int milliseconds) override { lastTime.store(milliseconds); }
    void StopAudRecFromMiddle() override { stops.fetch_add(1); }
    void ErrorMessageFromMiddle(CVeskError error) override {
        const std::lock_guard<std::mutex> guard(lock);
        messages.push_back(error.GetStr());
    }
    QStringList Messages() {
        const std::lock_guard<std::mutex> guard(lock);
        return messages;
    }

    std::atomic<int> levels{0};
    std::atomic<unsigned> lastLeft{0}, lastRight{0}, lastTime{0};
    std::atomic<int> stops{0};
    std::mutex lock;
    QStringList messages;
};

// The recorder with its seams in the test's hands.
class CTestRecorder : public CAudioRec {
public:
    ~CTestRecorder() override { Terminate(); }
    std::atomic<std::uint64_t> freeBytes{~0ull};
    std::atomic<std::uint64_t> maxData{kMaxDataBytes};
    std::atomic<int> failWith{0};            // errno the next writes fail with
    std::atomic<std::uint64_t> failAfter{0}; // ... once this many sample bytes are written
    std::atomic<bool> holdFreeQuery{false};
    std::atomic<bool> inFreeQuery{false};
    std::atomic<bool> stallWrites{false};
    std::atomic<bool> failHeader{false};

protected:
    std::optional<std::uint64_t> FreeBytes(const QString&) override {
        inFreeQuery.store(true);
        while (holdFreeQuery.load()) {
            std::this_thread::sleep_for(1ms);
        }
        return freeBytes.load();
    }
    std::uint64_t MaxDataBytes() const override { return maxData.load(); }
    long WriteFile(int fd, const void* bytes, std::size_t length, std::uint64_t offset) override {
        while (stallWrites.load()) {
            std::this_thread::sleep_for(1ms);
        }
        if (failHeader.load() && offset == 0) {
            errno = EIO;
            return -1;
        }
        if (failWith.load() != 0 && offset >= kHeaderBytes + failAfter.load()) {
            errno = failWith.load();
            return -1;
        }
        return CAudioRec::WriteFile(fd, bytes, length, offset);
    }
};

// The file's first limit bytes (all of it by default), read in one go.
Bytes Contents(const QString& path, std::size_t limit = ~std::size_t{0}) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.read(static_cast<qint64>(
        std::min<std::uint64_t>(limit, static_cast<std::uint64_t>(file.size()))));
    return Bytes(bytes.begin(), bytes.end());
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// The header of a finished recording of dataBytes, byte for byte.
Bytes ExpectedHeader(std::uint32_t dataBytes) {
    Bytes header = {'R',  'I',  'F', 'F', 0,    0,    0,    0, 'W', 'A', 'V', 'E',
                    'f',  'm',  't', ' ', 18,   0,    0,    0, 1,   0,   2,   0,
                    0x44, 0xAC, 0,   0,   0x10, 0xB1, 0x02, 0, 4,   0,   16,  0,
                    18,   0,    'd', 'a', 't',  'a',  0,    0, 0,   0};
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<unsigned char>((dataBytes + 38) >> (8 * i));
        header[42 + i] = static_cast<unsigned char>(dataBytes >> (8 * i));
    }
    return header;
}

// What the piano sent from the first frame on.
Bytes Sent(const CVirtualPiano& piano, std::size_t length) {
    Bytes bytes(length);
    piano.ProduceAudio(bytes.data(), length, 2, 44100, 16, 0);
    return bytes;
}

// A finished file: the exact header, and the samples the piano sent.
void ExpectCompleteRecording(const CVirtualPiano& piano, const QString& path,
                             std::uint64_t dataBytes) {
    const Bytes file = Contents(path);
    ASSERT_EQ(file.size(), CAudioRec::kHeaderBytes + dataBytes);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 46),
              ExpectedHeader(static_cast<std::uint32_t>(dataBytes)));
    EXPECT_TRUE(Bytes(file.begin() + 46, file.end()) == Sent(piano, dataBytes))
        << "the samples differ from what the piano sent";
}

class AudioRec : public ::testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano();
        piano->SetSignal(CVirtualPiano::Signal::Ramp);
        CLast::InitDummy(&engine);
        folder = MakeTestFolder(
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        path = folder + QStringLiteral("/take.wav");
        recorder.SetFileName(path);
    }
    void TearDown() override {
        recorder.Terminate();
        CLast::InitDummy(nullptr);
    }

    std::uint64_t HeaderDataSize() const {
        const Bytes file = Contents(path, 46);
        return file.size() >= 46 ? Le32(file, 42) : 0;
    }

    std::shared_ptr<CVirtualPiano> piano;
    CListeningEngine engine;
    CTestRecorder recorder;
    QString folder;
    QString path;
};

TEST_F(AudioRec, TwoSecondsOfTheTestSignalAreTheSamplesSentWithTheExactHeader) {
    // The length limit set to 2 s ends the recording at exactly that many samples.
    recorder.maxData.store(2 * CAudioRec::kBytesPerSecond);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);

    const Bytes file = Contents(path);
    ASSERT_EQ(file.size(), 46u + 352800u);
    EXPECT_EQ(Le32(file, 4), 352838u);
    EXPECT_EQ(Le32(file, 42), 352800u);
    ExpectCompleteRecording(*piano, path, 352800);
    // It ended by itself: the engine hears of it once, with the reason.
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kLengthLimit});
    EXPECT_EQ(engine.stops.load(), 1);
    EXPECT_GT(engine.levels.load(), 0);
    EXPECT_GT(engine.lastTime.load(), 0u);
}

TEST_F(AudioRec, ALimitInsideABufferCutsTheBufferAtTheLimit) {
    recorder.maxData.store(10000);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    ExpectCompleteRecording(*piano, path, 10000);
}

TEST_F(AudioRec, StopEndsWithACompleteFileOfWhatWasRecorded) {
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK); // nothing to stop

    // Stop at once: a valid file, perhaps without samples.
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());

    // Stop in the middle of a buffer: its samples up to the stop are kept.
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() > 0; }));
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    EXPECT_GT(recorder.WrittenBytes(), 0u);
    EXPECT_EQ(recorder.WrittenBytes() % 4, 0u);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
    EXPECT_EQ(engine.stops.load(), 0);
    EXPECT_TRUE(engine.Messages().isEmpty());
    EXPECT_FALSE(recorder.IsRecording());
}

TEST_F(AudioRec, StartFailuresAreReportedAndLeaveNoFile) {
    recorder.SetFileName(QString());
    EXPECT_EQ(recorder.Start().GetStr(), kSaveFailed);

    recorder.SetFileName(folder + QStringLiteral("/no/such/folder/take.wav"));
    const CVeskError noFolder = recorder.Start();
    EXPECT_EQ(noFolder.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(noFolder.GetStr(), kSaveFailed);

    // A name that leads to no file records nowhere: the samples would be lost while the
    // recording seemed to go on. The FIFO is not the recorder's to delete.
    const QString fifo = folder + QStringLiteral("/pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& node : {fifo, QStringLiteral("/dev/null")}) {
        recorder.SetFileName(node);
        const CVeskError notAFile = recorder.Start();
        EXPECT_EQ(notAFile.GetCode(), ERR_VESK_FAILED) << node.toStdString();
        EXPECT_EQ(notAFile.GetStr(), kSaveFailed);
        EXPECT_FALSE(recorder.IsRecording());
        EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    }
    EXPECT_TRUE(QFileInfo(fifo).exists());
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/dev/null")));

    recorder.SetFileName(path);
    piano->Unplug(CVirtualPiano::kWaveIn);
    const CVeskError noDevice = recorder.Start();
    EXPECT_EQ(noDevice.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(noDevice.GetStr(), kNoDevice);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);

    // The device is usable again afterwards.
    piano->Plug(CVirtualPiano::kWaveIn);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(AudioRec, TheSizesFollowTheSamplesWhileRecording) {
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    // A reader in the middle of the recording finds a valid WAV of at least one second.
    ASSERT_TRUE(Eventually([&] { return HeaderDataSize() >= CAudioRec::kBytesPerSecond; }));
    const Bytes file = Contents(path);
    const std::uint32_t data = Le32(file, 42);
    EXPECT_EQ(Le32(file, 4), data + 38);
    EXPECT_GE(file.size(), 46u + data);
    EXPECT_EQ(data % 4, 0u);
    EXPECT_TRUE(Bytes(file.begin() + 46, file.begin() + 46 + data) == Sent(*piano, data));
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
}

TEST_F(AudioRec, UnderTheFreeSpaceMinimumTheRecordingEndsByItselfAndKeepsItsFile) {
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= CAudioRec::kBufferBytes; }));
    const std::uint64_t before = recorder.WrittenBytes();
    recorder.freeBytes.store(CAudioRec::kMinFreeBytes - 1);
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    // Within one buffer: the one that found the disk full is the last written.
    EXPECT_LE(recorder.WrittenBytes(), before + 2 * CAudioRec::kBufferBytes);
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kDiskFull});
    EXPECT_EQ(engine.stops.load(), 1);
    // The transport manager's later Stop finds it ended.
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(engine.Messages().size(), 1);

    // Exactly the minimum is enough.
    recorder.freeBytes.store(CAudioRec::kMinFreeBytes);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= CAudioRec::kBufferBytes; }));
    EXPECT_TRUE(recorder.IsRecording());
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
}

TEST_F(AudioRec, OnASmallFileSystemTheRecordingEndsByItselfWithACompleteFile) {
    // A real file system of exactly the minimum: the header's first page already takes it
    // below. Mounting needs the right to; elsewhere the seam above stands in.
    const QString small = folder + QStringLiteral("/small");
    ASSERT_TRUE(QDir().mkpath(small));
    const QByteArray mountPoint = QFile::encodeName(small);
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=11m") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    CAudioRec plain; // the real free-space query
    const QString take = small + QStringLiteral("/take.wav");
    plain.SetFileName(take);
    const CVeskError started = plain.Start();
    const bool ended = started == ERR_VESK_OK && Eventually([&] { return !plain.IsRecording(); });
    const bool told = Eventually([&] { return engine.Messages().size() == 1; });
    const CVeskError stopped = plain.Stop();
    const Bytes file = Contents(take);
    const std::uint64_t written = plain.WrittenBytes();
    ::umount2(mountPoint.constData(), MNT_DETACH);

    ASSERT_EQ(started, ERR_VESK_OK);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(told);
    EXPECT_EQ(engine.Messages(), QStringList{kDiskFull});
    EXPECT_EQ(engine.stops.load(), 1);
    EXPECT_EQ(stopped, ERR_VESK_OK);
    EXPECT_GT(written, 0u);
    EXPECT_LE(written, 2u * CAudioRec::kBufferBytes);
    ASSERT_EQ(file.size(), 46u + written);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 46),
              ExpectedHeader(static_cast<std::uint32_t>(written)));
    EXPECT_TRUE(Bytes(file.begin() + 46, file.end()) == Sent(*piano, written));
}

TEST_F(AudioRec, DiskFullWhileTheUserStopsNeitherWaitsForTheOther) {
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= CAudioRec::kBufferBytes; }));
    // The recording thread is held in its free-space check ...
    recorder.inFreeQuery.store(false);
    recorder.holdFreeQuery.store(true);
    ASSERT_TRUE(Eventually([&] { return recorder.inFreeQuery.load(); }));
    // ... while the user's Stop holds the public lock and waits for that thread ...
    auto stopped = std::async(std::launch::async, [&] { return recorder.Stop(); });
    ASSERT_TRUE(Eventually(
        [] { return CKiroCriticalSection::Requester(88).contains(QStringLiteral("Stop")); }));
    // ... when the check finds the disk full.
    recorder.freeBytes.store(0);
    recorder.holdFreeQuery.store(false);
    ASSERT_EQ(stopped.wait_for(15s), std::future_status::ready) << "Stop hangs";
    EXPECT_EQ(stopped.get(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kDiskFull});
    // The user's Stop already ended the transport; the notice only explains.
    EXPECT_EQ(engine.stops.load(), 0);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
}

TEST_F(AudioRec, AFullFileSystemKeepsTheWholeBuffersWritten) {
    recorder.failAfter.store(3 * CAudioRec::kBufferBytes);
    recorder.failWith.store(ENOSPC);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kDiskFull});
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    EXPECT_EQ(recorder.WrittenBytes(), 3u * CAudioRec::kBufferBytes);
    recorder.failWith.store(0);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
}

TEST_F(AudioRec, AFailedWriteDeletesTheFileAndReportsTheSaveError) {
    recorder.failAfter.store(2 * CAudioRec::kBufferBytes);
    recorder.failWith.store(EIO);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kSaveFailed});
    EXPECT_EQ(engine.stops.load(), 1);
    EXPECT_FALSE(QFile::exists(path));
    // Reported once: the later Stop does not repeat it.
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    recorder.failWith.store(0);

    // A header that cannot be written: Start fails and leaves nothing.
    recorder.failHeader.store(true);
    const CVeskError header = recorder.Start();
    EXPECT_EQ(header.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(header.GetStr(), kSaveFailed);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    EXPECT_EQ(engine.Messages().size(), 1);
}

TEST_F(AudioRec, RemovingTheFilesFolderLosesTheRecordingAndSaysSo) {
    const QString inner = folder + QStringLiteral("/inner");
    ASSERT_TRUE(QDir().mkpath(inner));
    recorder.SetFileName(inner + QStringLiteral("/take.wav"));
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= CAudioRec::kBufferBytes; }));
    ASSERT_TRUE(QDir(inner).removeRecursively());
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kSaveFailed});
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    EXPECT_FALSE(QFile::exists(inner + QStringLiteral("/take.wav")));
}

// The take moved away and another file put under its name while recording: the recording is
// lost as when its folder goes, but the file now under that name is someone else's and stays.
TEST_F(AudioRec, AFileThatTookTheTakesNameIsNeverDeleted) {
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= CAudioRec::kBufferBytes; }));
    ASSERT_TRUE(QFile::rename(path, folder + QStringLiteral("/moved.wav")));
    const QByteArray theirs("not a recording");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(theirs), theirs.size());
    }
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kSaveFailed});
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(Contents(path).size(), static_cast<std::size_t>(theirs.size()));
}

TEST_F(AudioRec, PullingOutTheWaveInputEndsTheRecordingWithWhatWasCaptured) {
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= 2 * CAudioRec::kBufferBytes; }));
    piano->Unplug(CVirtualPiano::kWaveIn);

    // It ends by itself, without anyone stopping it.
    ASSERT_TRUE(Eventually([&] { return !recorder.IsRecording(); }));
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kNoDevice});
    EXPECT_EQ(engine.stops.load(), 1);
    // A complete file of only the samples the piano sent, up to the unplugging: nothing made
    // up after it.
    const std::uint64_t written = recorder.WrittenBytes();
    EXPECT_GE(written, 2u * CAudioRec::kBufferBytes);
    EXPECT_EQ(written % CAudioRec::kBlockAlign, 0u);
    ExpectCompleteRecording(*piano, path, written);

    // The transport manager's later Stop returns at once and does not call the cut take a
    // success; the message is not shown again.
    auto stopped = std::async(std::launch::async, [&] { return recorder.Stop(); });
    ASSERT_EQ(stopped.wait_for(15s), std::future_status::ready) << "Stop hangs";
    const CVeskError stop = stopped.get();
    EXPECT_EQ(stop.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(stop.GetStr(), kNoDevice);
    EXPECT_EQ(engine.Messages().size(), 1);
    EXPECT_EQ(engine.stops.load(), 1);
    EXPECT_EQ(recorder.WrittenBytes(), written);
    ExpectCompleteRecording(*piano, path, written);

    // Plugged in again, the next take records as before.
    piano->Plug(CVirtualPiano::kWaveIn);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() > 0; }));
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
    EXPECT_EQ(engine.Messages().size(), 1);
}

TEST_F(AudioRec, AStopRightAfterTheWaveInputWasPulledOutIsNoSuccess) {
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return recorder.WrittenBytes() >= CAudioRec::kBufferBytes; }));
    // The recording thread is held while it checks the free space of a buffer ...
    recorder.inFreeQuery.store(false);
    recorder.holdFreeQuery.store(true);
    ASSERT_TRUE(Eventually([&] { return recorder.inFreeQuery.load(); }));
    // ... the wave input is pulled out, and the user's Stop holds the public lock and waits for
    // the thread before it could miss the device.
    piano->Unplug(CVirtualPiano::kWaveIn);
    auto stopped = std::async(std::launch::async, [&] { return recorder.Stop(); });
    ASSERT_TRUE(Eventually(
        [] { return CKiroCriticalSection::Requester(88).contains(QStringLiteral("Stop")); }));
    recorder.holdFreeQuery.store(false);
    ASSERT_EQ(stopped.wait_for(15s), std::future_status::ready) << "Stop hangs";
    const CVeskError stop = stopped.get();
    // The lost device is no success. The notice still shows the message (the device watch,
    // which stops the recorder when the piano goes, shows nothing of what Stop returns) and
    // brings the transport, which the failed Stop left running, to a stop.
    EXPECT_EQ(stop.GetCode(), ERR_VESK_FAILED);
    EXPECT_EQ(stop.GetStr(), kNoDevice);
    ASSERT_TRUE(Eventually([&] { return engine.Messages().size() == 1; }));
    EXPECT_EQ(engine.Messages(), QStringList{kNoDevice});
    EXPECT_EQ(engine.stops.load(), 1);
    EXPECT_EQ(recorder.Refresh(), ERR_VESK_OK); // the notice has let go of the public lock
    EXPECT_EQ(engine.Messages().size(), 1);
    ExpectCompleteRecording(*piano, path, recorder.WrittenBytes());
}

TEST_F(AudioRec, TheLevelMeterFollowsTheSignal) {
    EXPECT_EQ(CAudioRec::LevelStep(0), 0u);
    EXPECT_EQ(CAudioRec::LevelStep(1000), 3u);
    EXPECT_EQ(CAudioRec::LevelStep(10000), 11u);
    EXPECT_EQ(CAudioRec::LevelStep(32767), 20u);
    EXPECT_EQ(CAudioRec::LevelStep(32768), 20u);

    piano->SetSignal(CVirtualPiano::Signal::Silence);
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    ASSERT_TRUE(Eventually([&] { return engine.levels.load() > 0; }));
    EXPECT_EQ(engine.lastLeft.load(), 0u);
    piano->SetSignal(CVirtualPiano::Signal::Sine, 441.0, 1.0);
    ASSERT_TRUE(Eventually([&] { return engine.lastLeft.load() >= 19u; }));
    EXPECT_GE(engine.lastRight.load(), 19u);
    EXPECT_EQ(recorder.Stop(), ERR_VESK_OK);
}

// Run by the test below in a child process, which it kills.
TEST(AudioRecChild, RecordsUntilKilled) {
    const char* target = std::getenv("CANTAVO_AUDIOREC_CHILD");
    if (target == nullptr) {
        GTEST_SKIP() << "runs only as the child of KilledWhileRecording";
    }
    auto piano = mmxUseVirtualPiano();
    piano->SetSignal(CVirtualPiano::Signal::Ramp);
    CAudioRec recorder;
    recorder.SetFileName(QString::fromLocal8Bit(target));
    ASSERT_EQ(recorder.Start(), ERR_VESK_OK);
    for (;;) {
        std::this_thread::sleep_for(1s);
    }
}

TEST_F(AudioRec, KilledWhileRecordingLeavesAPlayableFile) {
    const QString target = folder + QStringLiteral("/killed.wav");
    const std::string env = "CANTAVO_AUDIOREC_CHILD=" + target.toStdString();
    std::vector<std::string> envStrings{env};
    for (char** e = environ; *e != nullptr; ++e) {
        envStrings.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=AudioRecChild.RecordsUntilKilled";
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);

    const auto dataSize = [&] {
        const Bytes file = Contents(target, 46);
        return file.size() >= 46 ? Le32(file, 42) : 0u;
    };
    const bool recorded = Eventually([&] { return dataSize() >= 352800u; }, 30s);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(recorded) << "the child did not record 2 s";

    const Bytes file = Contents(target);
    const std::uint32_t data = Le32(file, 42);
    EXPECT_EQ(Le32(file, 4), data + 38);
    ASSERT_GE(file.size(), 46u + data);
    EXPECT_TRUE(Bytes(file.begin() + 46, file.begin() + 46 + data) == Sent(*piano, data));

    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no ffprobe";
    }
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + target.toStdString() + "'";
    FILE* probe = ::popen(command.c_str(), "r");
    ASSERT_NE(probe, nullptr);
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, probe) != nullptr;
    EXPECT_EQ(::pclose(probe), 0);
    ASSERT_TRUE(read);
    EXPECT_GE(std::atof(line), 2.0) << line;
}

} // namespace
