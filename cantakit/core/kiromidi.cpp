#include "kiromidi.h"

#include "CKiroCriticalSection.h"
#include "KiroTrace.h"

#include <atomic>

namespace {

constexpr unsigned long kDeviceSlot = 99;

std::atomic<HMIDIOUT> g_out{nullptr};
std::atomic<HMIDISTRM> g_stream{nullptr};
std::atomic<HMIDIIN> g_in{nullptr};

bool IsOut(HMIDIOUT handle) {
    return handle != nullptr && handle == g_out.load();
}

bool IsOutOrStream(HMIDIOUT handle) {
    return handle != nullptr && (handle == g_out.load() || handle == g_stream.load());
}

bool IsStream(HMIDISTRM handle) {
    return handle != nullptr && handle == g_stream.load();
}

bool IsIn(HMIDIIN handle) {
    return handle != nullptr && handle == g_in.load();
}

// One device call: under the device lock, with the handle checked, the failure traced.
template <typename Check, typename Call>
MMRESULT Output(const char* function, Check check, Call call) {
    const CKiroCriticalSection lock("kiromidi", function, kDeviceSlot);
    const MMRESULT result = check() ? call() : MMSYSERR_INVALHANDLE;
    return kiromidi::OutGetErrorText(function, result);
}

template <typename Check, typename Call>
MMRESULT Input(const char* function, Check check, Call call) {
    const CKiroCriticalSection lock("kiromidi", function, kDeviceSlot);
    const MMRESULT result = check() ? call() : MMSYSERR_INVALHANDLE;
    return kiromidi::InGetErrorText(function, result);
}

} // namespace

namespace kiromidi {

MMRESULT OutGetErrorText(const char* function, MMRESULT code) {
    return KiroTraceFailure(function, code, &midiOutGetErrorText);
}

MMRESULT InGetErrorText(const char* function, MMRESULT code) {
    return KiroTraceFailure(function, code, &midiInGetErrorText);
}

MMRESULT OutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                 DWORD flags) {
    const CKiroCriticalSection lock("kiromidi", "OutOpen", kDeviceSlot);
    if (midiOutGetNumDevs() == 0 && deviceId == MIDI_MAPPER) {
        return OutGetErrorText("OutOpen", MMSYSERR_BADDEVICEID);
    }
    const MMRESULT result = midiOutOpen(handle, deviceId, callback, instance, flags);
    g_out = handle != nullptr ? *handle : nullptr;
    return OutGetErrorText("OutOpen", result);
}

MMRESULT OutClose(HMIDIOUT handle) {
    const CKiroCriticalSection lock("kiromidi", "OutClose", kDeviceSlot);
    if (!IsOut(handle)) {
        return OutGetErrorText("OutClose", MMSYSERR_INVALHANDLE);
    }
    const MMRESULT result = midiOutClose(handle);
    if (result == MMSYSERR_NOERROR) {
        g_out = nullptr;
    }
    return OutGetErrorText("OutClose", result);
}

MMRESULT OutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
    return Output(
        "OutPrepareHeader", [&] { return IsOutOrStream(handle); },
        [&] { return midiOutPrepareHeader(handle, header, size); });
}

MMRESULT OutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
    return Output(
        "OutUnprepareHeader", [&] { return IsOutOrStream(handle); },
        [&] { return midiOutUnprepareHeader(handle, header, size); });
}

MMRESULT OutShortMsg(HMIDIOUT handle, DWORD message) {
    return Output(
        "OutShortMsg", [&] { return IsOutOrStream(handle); },
        [&] { return midiOutShortMsg(handle, message); });
}

MMRESULT OutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size) {
    return Output(
        "OutLongMsg", [&] { return IsOut(handle); },
        [&] { return midiOutLongMsg(handle, header, size); });
}

MMRESULT OutReset(HMIDIOUT handle) {
    return Output(
        "OutReset", [&] { return IsOutOrStream(handle); }, [&] { return midiOutReset(handle); });
}

MMRESULT OutCachePatches(HMIDIOUT handle, UINT bank, WORD* patches, UINT flags) {
    return Output(
        "OutCachePatches", [&] { return IsOut(handle); },
        [&] { return midiOutCachePatches(handle, bank, patches, flags); });
}

MMRESULT OutCacheDrumPatches(HMIDIOUT handle, UINT patch, WORD* keys, UINT flags) {
    return Output(
        "OutCacheDrumPatches", [&] { return IsOut(handle); },
        [&] { return midiOutCacheDrumPatches(handle, patch, keys, flags); });
}

MMRESULT OutGetID(HMIDIOUT handle, UINT* deviceId) {
    return Output(
        "OutGetID", [&] { return IsOut(handle); }, [&] { return midiOutGetID(handle, deviceId); });
}

HMIDIOUT OutIsOpen() {
    return g_out;
}

MMRESULT StreamOpen(HMIDISTRM* handle, UINT* deviceId, DWORD count, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    const CKiroCriticalSection lock("kiromidi", "StreamOpen", kDeviceSlot);
    if (midiOutGetNumDevs() == 0 && deviceId != nullptr && *deviceId == MIDI_MAPPER) {
        return OutGetErrorText("StreamOpen", MMSYSERR_BADDEVICEID);
    }
    const MMRESULT result = midiStreamOpen(handle, deviceId, count, callback, instance, flags);
    g_stream = handle != nullptr ? *handle : nullptr;
    return OutGetErrorText("StreamOpen", result);
}

MMRESULT StreamClose(HMIDISTRM handle) {
    const CKiroCriticalSection lock("kiromidi", "StreamClose", kDeviceSlot);
    if (!IsStream(handle)) {
        return OutGetErrorText("StreamClose", MMSYSERR_INVALHANDLE);
    }
    const MMRESULT result = midiStreamClose(handle);
    if (result == MMSYSERR_NOERROR) {
        g_stream = nullptr;
    }
    return OutGetErrorText("StreamClose", result);
}

MMRESULT StreamProperty(HMIDISTRM handle, BYTE* data, DWORD property) {
    return Output(
        "StreamProperty", [&] { return IsStream(handle); },
        [&] { return midiStreamProperty(handle, data, property); });
}

MMRESULT StreamPosition(HMIDISTRM handle, MMTIME* time, UINT size) {
    return Output(
        "StreamPosition", [&] { return IsStream(handle); },
        [&] { return midiStreamPosition(handle, time, size); });
}

MMRESULT StreamOut(HMIDISTRM handle, MIDIHDR* header, UINT size) {
    return Output(
        "StreamOut", [&] { return IsStream(handle); },
        [&] { return midiStreamOut(handle, header, size); });
}

MMRESULT StreamPause(HMIDISTRM handle) {
    return Output(
        "StreamPause", [&] { return IsStream(handle); }, [&] { return midiStreamPause(handle); });
}

MMRESULT StreamRestart(HMIDISTRM handle) {
    return Output(
        "StreamRestart", [&] { return IsStream(handle); },
        [&] { return midiStreamRestart(handle); });
}

MMRESULT StreamStop(HMIDISTRM handle) {
    return Output(
        "StreamStop", [&] { return IsStream(handle); }, [&] { return midiStreamStop(handle); });
}

HMIDISTRM StreamIsOpen() {
    return g_stream;
}

MMRESULT InOpen(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                DWORD flags) {
    const CKiroCriticalSection lock("kiromidi", "InOpen", kDeviceSlot);
    if (midiInGetNumDevs() == 0 && deviceId == MIDI_MAPPER) {
        return InGetErrorText("InOpen", MMSYSERR_BADDEVICEID);
    }
    const MMRESULT result = midiInOpen(handle, deviceId, callback, instance, flags);
    g_in = handle != nullptr ? *handle : nullptr;
    return InGetErrorText("InOpen", result);
}

MMRESULT InClose(HMIDIIN handle) {
    const CKiroCriticalSection lock("kiromidi", "InClose", kDeviceSlot);
    if (!IsIn(handle)) {
        return InGetErrorText("InClose", MMSYSERR_INVALHANDLE);
    }
    const MMRESULT result = midiInClose(handle);
    if (result == MMSYSERR_NOERROR) {
        g_in = nullptr;
    }
    return InGetErrorText("InClose", result);
}

MMRESULT InPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size) {
    return Input(
        "InPrepareHeader", [&] { return IsIn(handle); },
        [&] { return midiInPrepareHeader(handle, header, size); });
}

MMRESULT InUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size) {
    return Input(
        "InUnprepareHeader", [&] { return IsIn(handle); },
        [&] { return midiInUnprepareHeader(handle, header, size); });
}

MMRESULT InAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT size) {
    return Input(
        "InAddBuffer", [&] { return IsIn(handle); },
        [&] { return midiInAddBuffer(handle, header, size); });
}

MMRESULT InStart(HMIDIIN handle) {
    return Input(
        "InStart", [&] { return IsIn(handle); }, [&] { return midiInStart(handle); });
}

MMRESULT InStop(HMIDIIN handle) {
    return Input(
        "InStop", [&] { return IsIn(handle); }, [&] { return midiInStop(handle); });
}

MMRESULT InReset(HMIDIIN handle) {
    return Input(
        "InReset", [&] { return IsIn(handle); }, [&] { return midiInReset(handle); });
}

MMRESULT InGetID(HMIDIIN handle, UINT* deviceId) {
    return Input(
        "InGetID", [&] { return IsIn(handle); }, [&] { return midiInGetID(handle, deviceId); });
}

HMIDIIN InIsOpen() {
    return g_in;
}

} // namespace kiromidi
