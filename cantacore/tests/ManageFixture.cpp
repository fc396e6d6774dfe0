#include "ManageFixture.h"

#include "mmsystemx.h"

#include <QFile>

namespace {

Bytes Vlq(std::uint32_t value) {
    Bytes out{static_cast<std::uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) {
        out.insert(out.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    }
    return out;
}

} // namespace

Bytes ManageFixture::LongSong() {
    Bytes events;
    for (int i = 0; i < 400; ++i) {
        const auto note = static_cast<std::uint8_t>(48 + i % 24);
        for (const Bytes& e :
             {Vlq(i == 0 ? 0 : 48), Bytes{0x90, note, 80}, Vlq(48), Bytes{0x80, note, 64}}) {
            events.insert(events.end(), e.begin(), e.end());
        }
    }
    events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
    return Join({Header(0, 1, 96), Track(events)});
}

QString ManageFixture::AudioFile() {
    // Twenty seconds of 16-bit stereo at 44.1 kHz: a quiet tone, so playback runs through
    // any test.
    const QString path = CVeskToy().DataFile(QStringLiteral("album.wav"));
    if (QFile::exists(path)) {
        return path;
    }
    const std::uint32_t frames = 44100 * 20;
    const std::uint32_t dataBytes = frames * 4;
    QByteArray image;
    const auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            image.append(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    const auto le16 = [&](std::uint16_t v) {
        image.append(static_cast<char>(v & 0xFF));
        image.append(static_cast<char>(v >> 8));
    };
    image.append("RIFF");
    le32(36 + dataBytes);
    image.append("WAVEfmt ");
    le32(16);
    le16(1);
    le16(2);
    le32(44100);
    le32(44100 * 4);
    le16(4);
    le16(16);
    image.append("data");
    le32(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<std::uint16_t>((i % 100) * 20);
        le16(sample);
        le16(sample);
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(image);
    }
    return path;
}

void ManageFixture::SetUp() {
    piano = mmxUseVirtualPiano(std::make_shared<CVirtualPiano>());
    piano->SetActiveSensing(false);
    manage = std::make_unique<CManage>();
    CLast::InitManage(manage.get());
    CLast::InitSysinfo(manage.get());
    manage->SetStereo(&stereo);
    manage->SetSeqFile(&midi);
    manage->SetAudFile(&audio);
    ASSERT_EQ(manage->Initialize(), 0);
    // As the program does: the whole state to everyone, the piano included.
    manage->Refresh();
    song = Write(QStringLiteral("song.mid"), LongSong());
}

void ManageFixture::StopAll() {
    manage->MixStop();
    manage->AudStop();
    manage->SeqStop();
    manage->MetroStop();
    for (CAnsweringTake* take : {&midi, &audio}) {
        if (take->GetFileFlag() == MODIFIED_DIRTY) {
            take->DeleteFileA();
        }
    }
    CWinMsg::PumpMessages();
}

void ManageFixture::TearDown() {
    if (manage == nullptr) {
        return;
    }
    StopAll();
    midi.answer = 1;
    audio.answer = 1;
    manage->Terminate();
    CWinMsg::PumpMessages();
    manage->SetSeqFile(nullptr);
    manage->SetAudFile(nullptr);
    CLast::InitManage(nullptr);
    CLast::InitSysinfo(nullptr);
    manage.reset();
}

#if defined(__SANITIZE_THREAD__)
// The takes are read back by Python's mido in a child process; the child only executes the
// interpreter, so starting it from a process with threads is safe here.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif
