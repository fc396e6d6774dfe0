#include "CPianoSender.h"

#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CPendingInserts.h"
#include "CTrace.h"
#include "kiromidi.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// -1 until the player chooses; the device watch's answer stands in until then.
std::atomic<int> g_device{-1};
std::atomic<bool> g_chosen{false};

// One long message at a time goes through the one buffer.
std::mutex& LongLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

UINT DeviceId() {
    const int device = g_chosen ? g_device.load() : CCheckUSBdev::GetMIDIOutDev();
    return static_cast<UINT>(device);
}

} // namespace

void CPianoSender::SetMIDIOutDev(int device) {
    if (device != -1) {
        g_device = device;
        g_chosen = true;
    }
}

int CPianoSender::GetMIDIOutDev() {
    return static_cast<int>(DeviceId());
}

int CPianoSender::SendPianoShortMsg(DWORD message) {
    if (HMIDISTRM stream = kiromidi::StreamIsOpen()) {
        return kiromidi::OutShortMsg(stream, message) == MMSYSERR_NOERROR ? 0 : -1;
    }
    HMIDIOUT out = nullptr;
    if (kiromidi::OutOpen(&out, DeviceId(), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        return -1;
    }
    const MMRESULT sent = kiromidi::OutShortMsg(out, message);
    kiromidi::OutClose(out);
    return sent == MMSYSERR_NOERROR ? 0 : -1;
}

int CPianoSender::SendPianoLongMsg(const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr || length == 0 || length > kLongBuffer) {
        return -1;
    }
    if (kiromidi::StreamIsOpen() != nullptr && CPendingInserts::Instance().IsOpen()) {
        // While the player's stream is open, a long message joins its events: the stream
        // takes no long message straight away.
        if (CPendingInserts::Instance().AddLong(bytes, length)) {
            return 0;
        }
        CLast::Trace().TraceLine() << "SendPianoLongMsg: 再生中の送信待ちが一杯なので送らない\n";
        return -1;
    }
    const std::lock_guard<std::mutex> guard(LongLock());
    static char buffer[kLongBuffer];
    HMIDIOUT out = nullptr;
    if (kiromidi::OutOpen(&out, DeviceId(), 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        return -1;
    }
    std::memcpy(buffer, bytes, length);
    MIDIHDR header{};
    header.lpData = buffer;
    header.dwBufferLength = static_cast<DWORD>(length);
    int result = -1;
    if (kiromidi::OutPrepareHeader(out, &header, sizeof header) == MMSYSERR_NOERROR) {
        if (kiromidi::OutLongMsg(out, &header, sizeof header) == MMSYSERR_NOERROR) {
            while ((mmxHeaderFlags(header.dwFlags) & MHDR_DONE) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            result = 0;
        }
        kiromidi::OutUnprepareHeader(out, &header, sizeof header);
    }
    kiromidi::OutClose(out);
    return result;
}
