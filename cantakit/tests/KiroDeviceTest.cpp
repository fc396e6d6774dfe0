#include "CLast.h"
#include "CTrace.h"
#include "CVirtualPiano.h"
#include "QtPrinters.h"
#include "TestHome.h"
#include "kiromidi.h"
#include "kirowave.h"
#include "mmsystemx.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kInvalidHandle = QStringLiteral("The specified device handle is invalid.");

// The virtual ZQ31 plugged in, and a trace log of this test's own.
class DeviceAccess : public testing::Test {
protected:
    void SetUp() override {
        piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
        piano->SetActiveSensing(false);
        m_folder = MakeTestFolder(QStringLiteral("kiro"));
        m_trace =
            std::make_unique<CTrace>(QStringLiteral("Vesk"), QStringLiteral("x trace"), m_folder);
        CLast::InitTrace(m_trace.get());
    }
    void TearDown() override {
        CLast::InitTrace(&CTrace::LibraryWriter());
        mmxUseSystemDevices();
    }
    QString Log() const {
        QString text;
        for (const QString& name : QDir(m_folder).entryList({QStringLiteral("*.log")})) {
            QFile file(m_folder + QLatin1Char('/') + name);
            if (file.open(QIODevice::ReadOnly)) {
                text += QString::fromUtf8(file.readAll());
            }
        }
        return text;
    }
    // The failure lines of the log, without the lock lines.
    QStringList Failures() const {
        QStringList failures;
        for (const QString& line : Log().split(QLatin1Char('\n'))) {
            if (line.contains(QStringLiteral(" : "))) {
                failures.push_back(line);
            }
        }
        return failures;
    }

    std::shared_ptr<CVirtualPiano> piano;
    QString m_folder;
    std::unique_ptr<CTrace> m_trace;
};

} // namespace

TEST_F(DeviceAccess, ShortMessagesGoThroughTheOutputOrTheStream) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(kiromidi::OutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(kiromidi::OutIsOpen(), out);
    EXPECT_EQ(kiromidi::OutShortMsg(out, 0x30C0), MMSYSERR_NOERROR);
    EXPECT_EQ(piano->GetPanel().program, 48);
    EXPECT_EQ(kiromidi::OutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(kiromidi::OutIsOpen(), nullptr);
    EXPECT_TRUE(Failures().isEmpty());

    // A stale handle is refused before it reaches the device.
    EXPECT_EQ(kiromidi::OutShortMsg(out, 0x05C0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(piano->GetPanel().program, 48);
    EXPECT_EQ(Failures(), QStringList{QStringLiteral("OutShortMsg : ") + kInvalidHandle});

    HMIDISTRM stream = nullptr;
    UINT device = 0;
    ASSERT_EQ(kiromidi::StreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(kiromidi::OutShortMsg(stream, 0x06C0), MMSYSERR_NOERROR);
    EXPECT_EQ(piano->GetPanel().program, 6);
    MIDIHDR header{};
    char data[2] = {static_cast<char>(0xF0), static_cast<char>(0xF7)};
    header.lpData = data;
    header.dwBufferLength = 2;
    EXPECT_EQ(kiromidi::OutLongMsg(stream, &header, sizeof header), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(kiromidi::StreamClose(stream), MMSYSERR_NOERROR);
}

TEST_F(DeviceAccess, ClosingAnotherHandleLeavesTheRecordAlone) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(kiromidi::OutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    HMIDIOUT other = nullptr;
    ASSERT_EQ(midiOutOpen(&other, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(kiromidi::OutClose(other), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(kiromidi::OutIsOpen(), out);
    midiOutClose(other);
    EXPECT_EQ(kiromidi::OutClose(out), MMSYSERR_NOERROR);
}

TEST_F(DeviceAccess, AFailedCloseKeepsTheHandleRecorded) {
    HMIDISTRM stream = nullptr;
    UINT device = 0;
    ASSERT_EQ(kiromidi::StreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    DWORD events[3] = {960, 0, static_cast<DWORD>(MEVT_NOP) << 24};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(events);
    header.dwBufferLength = header.dwBytesRecorded = sizeof events;
    ASSERT_EQ(kiromidi::OutPrepareHeader(stream, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(kiromidi::StreamOut(stream, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(kiromidi::StreamClose(stream), MIDIERR_STILLPLAYING);
    EXPECT_EQ(kiromidi::StreamIsOpen(), stream);
    EXPECT_EQ(kiromidi::StreamStop(stream), MMSYSERR_NOERROR);
    // Stopping hands the buffer back at once; closing then succeeds.
    for (int i = 0; i < 1000 && kiromidi::StreamClose(stream) != MMSYSERR_NOERROR; ++i) {
    }
    EXPECT_EQ(kiromidi::StreamIsOpen(), nullptr);
}

TEST_F(DeviceAccess, WithoutDevicesTheMapperIsRefusedUnasked) {
    piano->Unplug();
    HMIDIOUT out = reinterpret_cast<HMIDIOUT>(0x1);
    EXPECT_EQ(kiromidi::OutOpen(&out, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    // winmm was not asked, so it did not clear the caller's variable.
    EXPECT_EQ(out, reinterpret_cast<HMIDIOUT>(0x1));
    HWAVEOUT wave = nullptr;
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(kirowave::OutOpen(&wave, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(Failures().size(), 2);
}

TEST_F(DeviceAccess, WaveOutputTakesAnyHandleWaveInputOnlyItsOwn) {
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    HWAVEOUT direct = nullptr;
    ASSERT_EQ(waveOutOpen(&direct, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<char> samples(4410 * 4);
    WAVEHDR header{};
    header.lpData = samples.data();
    header.dwBufferLength = static_cast<DWORD>(samples.size());
    EXPECT_EQ(kirowave::OutPrepareHeader(direct, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(kirowave::OutWrite(direct, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(kirowave::OutReset(direct), MMSYSERR_NOERROR);
    for (int i = 0; i < 1000 && kirowave::OutClose(direct) != MMSYSERR_NOERROR; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    HWAVEIN in = nullptr;
    ASSERT_EQ(kirowave::InOpen(&in, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(kirowave::InStart(reinterpret_cast<HWAVEIN>(0x10)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(kirowave::InStart(in), MMSYSERR_NOERROR);
    EXPECT_EQ(kirowave::InStop(in), MMSYSERR_NOERROR);
    EXPECT_EQ(kirowave::InClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(kirowave::InIsOpen(), nullptr);
}

TEST_F(DeviceAccess, EveryCallTakesTheOneDeviceLock) {
    HMIDIOUT out = nullptr;
    kiromidi::OutOpen(&out, 0, 0, 0, CALLBACK_NULL);
    kiromidi::OutClose(out);
    const QString log = Log();
    EXPECT_TRUE(log.contains(QStringLiteral("kiromidi::OutOpen(99): in \n")));
    EXPECT_TRUE(log.contains(QStringLiteral("kiromidi::OutClose(99): out\n")));
}
