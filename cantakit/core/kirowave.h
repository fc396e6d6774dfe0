#pragma once

#include "mmsystem.h"

// Every call the system makes on the wave devices, under the same device lock as kiromidi.
// Wave-output calls take any handle (several outputs may be open at once); wave-input calls
// refuse handles other than the open input's.
namespace kirowave {

MMRESULT OutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                 DWORD_PTR instance, DWORD flags);
MMRESULT OutClose(HWAVEOUT handle);
MMRESULT OutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT OutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT OutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT OutPause(HWAVEOUT handle);
MMRESULT OutRestart(HWAVEOUT handle);
MMRESULT OutReset(HWAVEOUT handle);
MMRESULT OutBreakLoop(HWAVEOUT handle);
MMRESULT OutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size);
MMRESULT OutGetPitch(HWAVEOUT handle, DWORD* pitch);
MMRESULT OutSetPitch(HWAVEOUT handle, DWORD pitch);
MMRESULT OutGetPlaybackRate(HWAVEOUT handle, DWORD* rate);
MMRESULT OutSetPlaybackRate(HWAVEOUT handle, DWORD rate);
MMRESULT OutGetID(HWAVEOUT handle, UINT* deviceId);
MMRESULT OutGetErrorText(const char* function, MMRESULT code);
HWAVEOUT OutIsOpen();

MMRESULT InOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                DWORD_PTR instance, DWORD flags);
MMRESULT InClose(HWAVEIN handle);
MMRESULT InPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT InUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT InAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT InStart(HWAVEIN handle);
MMRESULT InStop(HWAVEIN handle);
MMRESULT InReset(HWAVEIN handle);
MMRESULT InGetPosition(HWAVEIN handle, MMTIME* time, UINT size);
MMRESULT InGetID(HWAVEIN handle, UINT* deviceId);
MMRESULT InGetErrorText(const char* function, MMRESULT code);
HWAVEIN InIsOpen();

} // namespace kirowave
