#pragma once

#include "mmsystem.h"

// Every call the system makes on the MIDI devices. Each wraps one winmm call under the one
// device lock (slot 99, shared with kirowave), refuses handles other than the open device's,
// and writes the system's text of any failure to the trace log. The results are winmm's.
namespace kiromidi {

MMRESULT OutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                 DWORD flags);
MMRESULT OutClose(HMIDIOUT handle);
MMRESULT OutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT OutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT OutShortMsg(HMIDIOUT handle, DWORD message);
MMRESULT OutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT OutReset(HMIDIOUT handle);
MMRESULT OutCachePatches(HMIDIOUT handle, UINT bank, WORD* patches, UINT flags);
MMRESULT OutCacheDrumPatches(HMIDIOUT handle, UINT patch, WORD* keys, UINT flags);
MMRESULT OutGetID(HMIDIOUT handle, UINT* deviceId);
MMRESULT OutGetErrorText(const char* function, MMRESULT code);
HMIDIOUT OutIsOpen();

MMRESULT StreamOpen(HMIDISTRM* handle, UINT* deviceId, DWORD count, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT StreamClose(HMIDISTRM handle);
MMRESULT StreamProperty(HMIDISTRM handle, BYTE* data, DWORD property);
MMRESULT StreamPosition(HMIDISTRM handle, MMTIME* time, UINT size);
MMRESULT StreamOut(HMIDISTRM handle, MIDIHDR* header, UINT size);
MMRESULT StreamPause(HMIDISTRM handle);
MMRESULT StreamRestart(HMIDISTRM handle);
MMRESULT StreamStop(HMIDISTRM handle);
HMIDISTRM StreamIsOpen();

MMRESULT InOpen(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                DWORD flags);
MMRESULT InClose(HMIDIIN handle);
MMRESULT InPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT InUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT InAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT InStart(HMIDIIN handle);
MMRESULT InStop(HMIDIIN handle);
MMRESULT InReset(HMIDIIN handle);
MMRESULT InGetID(HMIDIIN handle, UINT* deviceId);
MMRESULT InGetErrorText(const char* function, MMRESULT code);
HMIDIIN InIsOpen();

} // namespace kiromidi
