#pragma once

// The subset of the Windows multimedia API (winmm) that Cantavo calls, with winmm's names,
// types, constants, result codes and documented behaviour, over two backends: the virtual
// ZQ31 and ALSA. Callbacks run on threads of this library, never with a lock of the library
// held, so a callback may call back into it (except to close its own device).

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using DWORD_PTR = std::uintptr_t;
using MMRESULT = UINT;
using LPSTR = char*;
using UINT_PTR = std::uintptr_t;

struct CMidiOutHandle;
struct CMidiInHandle;
struct CWaveOutHandle;
struct CWaveInHandle;
using HMIDIOUT = CMidiOutHandle*;
using HMIDISTRM = CMidiOutHandle*;
using HMIDIIN = CMidiInHandle*;
using HWAVEOUT = CWaveOutHandle*;
using HWAVEIN = CWaveInHandle*;

// Result codes.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MMSYSERR_LASTERROR = 21;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
constexpr MMRESULT MIDIERR_DONT_CONTINUE = 71;

constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);
constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
constexpr UINT MAXPNAMELEN = 32;
constexpr UINT MAXERRORLENGTH = 256;

// Open flags.
constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;
constexpr DWORD CALLBACK_THREAD = 0x00020000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD CALLBACK_EVENT = 0x00050000;
constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;
constexpr DWORD MIDI_IO_STATUS = 0x00000020;

// Callback messages.
constexpr UINT MOM_OPEN = 0x3C7;
constexpr UINT MOM_CLOSE = 0x3C8;
constexpr UINT MOM_DONE = 0x3C9;
constexpr UINT MOM_POSITIONCB = 0x3CA;
constexpr UINT MIM_OPEN = 0x3C1;
constexpr UINT MIM_CLOSE = 0x3C2;
constexpr UINT MIM_DATA = 0x3C3;
constexpr UINT MIM_LONGDATA = 0x3C4;
constexpr UINT MIM_ERROR = 0x3C5;
constexpr UINT MIM_LONGERROR = 0x3C6;
constexpr UINT WOM_OPEN = 0x3BB;
constexpr UINT WOM_CLOSE = 0x3BC;
constexpr UINT WOM_DONE = 0x3BD;
constexpr UINT WIM_OPEN = 0x3BE;
constexpr UINT WIM_CLOSE = 0x3BF;
constexpr UINT WIM_DATA = 0x3C0;

// Header flags.
constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;
constexpr DWORD MHDR_ISSTRM = 0x00000008;
constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

// Stream events.
constexpr DWORD MEVT_F_SHORT = 0x00000000;
constexpr DWORD MEVT_F_LONG = 0x80000000;
constexpr DWORD MEVT_F_CALLBACK = 0x40000000;
constexpr BYTE MEVT_SHORTMSG = 0x00;
constexpr BYTE MEVT_TEMPO = 0x01;
constexpr BYTE MEVT_NOP = 0x02;
constexpr BYTE MEVT_LONGMSG = 0x80;
constexpr BYTE MEVT_COMMENT = 0x82;
constexpr BYTE MEVT_VERSION = 0x84;
constexpr BYTE MEVT_EVENTTYPE(DWORD event) {
    return static_cast<BYTE>((event >> 24) & 0xFF);
}
constexpr DWORD MEVT_EVENTPARM(DWORD event) {
    return event & 0x00FFFFFF;
}

constexpr DWORD MIDIPROP_SET = 0x80000000;
constexpr DWORD MIDIPROP_GET = 0x40000000;
constexpr DWORD MIDIPROP_TIMEDIV = 0x00000001;
constexpr DWORD MIDIPROP_TEMPO = 0x00000002;

// Time formats.
constexpr UINT TIME_MS = 0x0001;
constexpr UINT TIME_SAMPLES = 0x0002;
constexpr UINT TIME_BYTES = 0x0004;
constexpr UINT TIME_SMPTE = 0x0008;
constexpr UINT TIME_MIDI = 0x0010;
constexpr UINT TIME_TICKS = 0x0020;

constexpr WORD WAVE_FORMAT_PCM = 1;

struct MIDIHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    MIDIHDR* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};
using LPMIDIHDR = MIDIHDR*;

struct MIDIEVENT {
    DWORD dwDeltaTime;
    DWORD dwStreamID;
    DWORD dwEvent;
    DWORD dwParms[1];
};

struct MIDIPROPTIMEDIV {
    DWORD cbStruct;
    DWORD dwTimeDiv;
};

struct MIDIPROPTEMPO {
    DWORD cbStruct;
    DWORD dwTempo;
};

struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)

struct MMTIME {
    UINT wType;
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;
        DWORD ticks;
        struct {
            BYTE hour, min, sec, frame, fps, dummy, pad[2];
        } smpte;
        struct {
            DWORD songptrpos;
        } midi;
    } u;
};
using LPMMTIME = MMTIME*;

struct MIDIOUTCAPS {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};

struct MIDIINCAPS {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwSupport;
};

struct WAVEOUTCAPS {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
    DWORD dwSupport;
};

struct WAVEINCAPS {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
};

constexpr WORD MOD_MIDIPORT = 1;
constexpr DWORD MIDICAPS_STREAM = 0x0008;
constexpr DWORD WAVECAPS_SAMPLEACCURATE = 0x0020;

using MIDIOUTPROC = void (*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using MIDIINPROC = void (*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using WAVEOUTPROC = void (*)(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using WAVEINPROC = void (*)(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

// Devices and capabilities.
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCaps(UINT_PTR deviceId, MIDIOUTCAPS* caps, UINT size);
UINT midiInGetNumDevs();
MMRESULT midiInGetDevCaps(UINT_PTR deviceId, MIDIINCAPS* caps, UINT size);
UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCaps(UINT_PTR deviceId, WAVEOUTCAPS* caps, UINT size);
UINT waveInGetNumDevs();
MMRESULT waveInGetDevCaps(UINT_PTR deviceId, WAVEINCAPS* caps, UINT size);

// MIDI output.
MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags);
MMRESULT midiOutClose(HMIDIOUT handle);
MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message);
MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT midiOutReset(HMIDIOUT handle);
MMRESULT midiOutCachePatches(HMIDIOUT handle, UINT bank, WORD* patches, UINT flags);
MMRESULT midiOutCacheDrumPatches(HMIDIOUT handle, UINT patch, WORD* keys, UINT flags);
MMRESULT midiOutGetID(HMIDIOUT handle, UINT* deviceId);
MMRESULT midiOutGetErrorText(MMRESULT code, char* text, UINT size);

// MIDI stream output.
MMRESULT midiStreamOpen(HMIDISTRM* handle, UINT* deviceId, DWORD count, DWORD_PTR callback,
                        DWORD_PTR instance, DWORD flags);
MMRESULT midiStreamClose(HMIDISTRM handle);
MMRESULT midiStreamProperty(HMIDISTRM handle, BYTE* data, DWORD property);
MMRESULT midiStreamPosition(HMIDISTRM handle, MMTIME* time, UINT size);
MMRESULT midiStreamOut(HMIDISTRM handle, MIDIHDR* header, UINT size);
MMRESULT midiStreamPause(HMIDISTRM handle);
MMRESULT midiStreamRestart(HMIDISTRM handle);
MMRESULT midiStreamStop(HMIDISTRM handle);

// MIDI input.
MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags);
MMRESULT midiInClose(HMIDIIN handle);
MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT midiInStart(HMIDIIN handle);
MMRESULT midiInStop(HMIDIIN handle);
MMRESULT midiInReset(HMIDIIN handle);
MMRESULT midiInGetID(HMIDIIN handle, UINT* deviceId);
MMRESULT midiInGetErrorText(MMRESULT code, char* text, UINT size);

// Wave output.
MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT waveOutClose(HWAVEOUT handle);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutPause(HWAVEOUT handle);
MMRESULT waveOutRestart(HWAVEOUT handle);
MMRESULT waveOutReset(HWAVEOUT handle);
MMRESULT waveOutBreakLoop(HWAVEOUT handle);
MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size);
MMRESULT waveOutGetPitch(HWAVEOUT handle, DWORD* pitch);
MMRESULT waveOutSetPitch(HWAVEOUT handle, DWORD pitch);
MMRESULT waveOutGetPlaybackRate(HWAVEOUT handle, DWORD* rate);
MMRESULT waveOutSetPlaybackRate(HWAVEOUT handle, DWORD rate);
MMRESULT waveOutGetID(HWAVEOUT handle, UINT* deviceId);
MMRESULT waveOutGetErrorText(MMRESULT code, char* text, UINT size);

// Wave input.
MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInClose(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size);
MMRESULT waveInStart(HWAVEIN handle);
MMRESULT waveInStop(HWAVEIN handle);
MMRESULT waveInReset(HWAVEIN handle);
MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size);
MMRESULT waveInGetID(HWAVEIN handle, UINT* deviceId);
MMRESULT waveInGetErrorText(MMRESULT code, char* text, UINT size);

// Reading a header's flags that a device thread of this library sets.
inline DWORD mmxHeaderFlags(const DWORD& flags) {
    return __atomic_load_n(&flags, __ATOMIC_ACQUIRE);
}

// RIFF file input and output.
#include "mmiscapi.h"
