#include "kirowave.h"

#include "CKiroCriticalSection.h"
#include "KiroTrace.h"

#include <atomic>

namespace {

constexpr unsigned long kDeviceSlot = 99;

std::atomic<HWAVEOUT> g_out{nullptr};
std::atomic<HWAVEIN> g_in{nullptr};

bool IsIn(HWAVEIN handle) {
    return handle != nullptr && handle == g_in.load();
}

// One wave-output call: under the device lock, with the failure traced. No handle check:
// the metronome and the audio player may each have an output open.
template <typename Call>
MMRESULT Output(const char* function, Call call) {
    const CKiroCriticalSection lock("kirowave", function, kDeviceSlot);
    return kirowave::OutGetErrorText(function, call());
}

template <typename Call>
MMRESULT Input(const char* function, HWAVEIN handle, Call call) {
    const CKiroCriticalSection lock("kirowave", function, kDeviceSlot);
    return kirowave::InGetErrorText(function, IsIn(handle) ? call() : MMSYSERR_INVALHANDLE);
}

} // namespace

namespace kirowave {

MMRESULT OutGetErrorText(const char* function, MMRESULT code) {
    return KiroTraceFailure(function, code, &waveOutGetErrorText);
}

MMRESULT InGetErrorText(const char* function, MMRESULT code) {
    return KiroTraceFailure(function, code, &waveInGetErrorText);
}

MMRESULT OutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                 DWORD_PTR instance, DWORD flags) {
    const CKiroCriticalSection lock("kirowave", "OutOpen", kDeviceSlot);
    if (waveOutGetNumDevs() == 0 && deviceId == WAVE_MAPPER) {
        return OutGetErrorText("OutOpen", MMSYSERR_BADDEVICEID);
    }
    const MMRESULT result = waveOutOpen(handle, deviceId, format, callback, instance, flags);
    g_out = handle != nullptr ? *handle : nullptr;
    return OutGetErrorText("OutOpen", result);
}

MMRESULT OutClose(HWAVEOUT handle) {
    const CKiroCriticalSection lock("kirowave", "OutClose", kDeviceSlot);
    const MMRESULT result = waveOutClose(handle);
    if (result == MMSYSERR_NOERROR && handle == g_out.load()) {
        g_out = nullptr;
    }
    return OutGetErrorText("OutClose", result);
}

MMRESULT OutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Output("OutPrepareHeader", [&] { return waveOutPrepareHeader(handle, header, size); });
}

MMRESULT OutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Output("OutUnprepareHeader",
                  [&] { return waveOutUnprepareHeader(handle, header, size); });
}

MMRESULT OutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Output("OutWrite", [&] { return waveOutWrite(handle, header, size); });
}

MMRESULT OutPause(HWAVEOUT handle) {
    return Output("OutPause", [&] { return waveOutPause(handle); });
}

MMRESULT OutRestart(HWAVEOUT handle) {
    return Output("OutRestart", [&] { return waveOutRestart(handle); });
}

MMRESULT OutReset(HWAVEOUT handle) {
    return Output("OutReset", [&] { return waveOutReset(handle); });
}

MMRESULT OutBreakLoop(HWAVEOUT handle) {
    return Output("OutBreakLoop", [&] { return waveOutBreakLoop(handle); });
}

MMRESULT OutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) {
    return Output("OutGetPosition", [&] { return waveOutGetPosition(handle, time, size); });
}

MMRESULT OutGetPitch(HWAVEOUT handle, DWORD* pitch) {
    return Output("OutGetPitch", [&] { return waveOutGetPitch(handle, pitch); });
}

MMRESULT OutSetPitch(HWAVEOUT handle, DWORD pitch) {
    return Output("OutSetPitch", [&] { return waveOutSetPitch(handle, pitch); });
}

MMRESULT OutGetPlaybackRate(HWAVEOUT handle, DWORD* rate) {
    return Output("OutGetPlaybackRate", [&] { return waveOutGetPlaybackRate(handle, rate); });
}

MMRESULT OutSetPlaybackRate(HWAVEOUT handle, DWORD rate) {
    return Output("OutSetPlaybackRate", [&] { return waveOutSetPlaybackRate(handle, rate); });
}

MMRESULT OutGetID(HWAVEOUT handle, UINT* deviceId) {
    return Output("OutGetID", [&] { return waveOutGetID(handle, deviceId); });
}

HWAVEOUT OutIsOpen() {
    return g_out;
}

MMRESULT InOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                DWORD_PTR instance, DWORD flags) {
    const CKiroCriticalSection lock("kirowave", "InOpen", kDeviceSlot);
    if (waveInGetNumDevs() == 0 && deviceId == WAVE_MAPPER) {
        return InGetErrorText("InOpen", MMSYSERR_BADDEVICEID);
    }
    const MMRESULT result = waveInOpen(handle, deviceId, format, callback, instance, flags);
    g_in = handle != nullptr ? *handle : nullptr;
    return InGetErrorText("InOpen", result);
}

MMRESULT InClose(HWAVEIN handle) {
    const CKiroCriticalSection lock("kirowave", "InClose", kDeviceSlot);
    if (!IsIn(handle)) {
        return InGetErrorText("InClose", MMSYSERR_INVALHANDLE);
    }
    const MMRESULT result = waveInClose(handle);
    if (result == MMSYSERR_NOERROR) {
        g_in = nullptr;
    }
    return InGetErrorText("InClose", result);
}

MMRESULT InPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return Input("InPrepareHeader", handle,
                 [&] { return waveInPrepareHeader(handle, header, size); });
}

MMRESULT InUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return Input("InUnprepareHeader", handle,
                 [&] { return waveInUnprepareHeader(handle, header, size); });
}

MMRESULT InAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    return Input("InAddBuffer", handle, [&] { return waveInAddBuffer(handle, header, size); });
}

MMRESULT InStart(HWAVEIN handle) {
    return Input("InStart", handle, [&] { return waveInStart(handle); });
}

MMRESULT InStop(HWAVEIN handle) {
    return Input("InStop", handle, [&] { return waveInStop(handle); });
}

MMRESULT InReset(HWAVEIN handle) {
    return Input("InReset", handle, [&] { return waveInReset(handle); });
}

MMRESULT InGetPosition(HWAVEIN handle, MMTIME* time, UINT size) {
    return Input("InGetPosition", handle, [&] { return waveInGetPosition(handle, time, size); });
}

MMRESULT InGetID(HWAVEIN handle, UINT* deviceId) {
    return Input("InGetID", handle, [&] { return waveInGetID(handle, deviceId); });
}

HWAVEIN InIsOpen() {
    return g_in;
}

} // namespace kirowave
