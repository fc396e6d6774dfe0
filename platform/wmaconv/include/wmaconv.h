#pragma once

// What the WMA converter library shares with its callers: result values, the callbacks of
// its player and the library's version. Files are named by their path in the file system's
// own encoding (UTF-8 here), so any name that the file system holds, Japanese characters and
// spaces included, opens as it stands.

#include "mmsystem.h"

#include <cstdint>

// A result: 0 or positive for success, negative for failure.
using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

// The output device cannot be opened: it is missing or does not take any format offered.
constexpr HRESULT WMACONV_E_NODEVICE = static_cast<HRESULT>(0xE00D0001);
// The file cannot be opened or read.
constexpr HRESULT WMACONV_E_FILEOPEN = static_cast<HRESULT>(0xE00D0002);
// The file holds no audio that can be decoded.
constexpr HRESULT WMACONV_E_FORMAT = static_cast<HRESULT>(0xE00D0003);
// The output device failed while playing (unplugged, for one).
constexpr HRESULT WMACONV_E_DEVICEFAILED = static_cast<HRESULT>(0xE00D0004);
// Decoding failed in the middle of the file.
constexpr HRESULT WMACONV_E_DECODE = static_cast<HRESULT>(0xE00D0005);
// Playing is already running on this player.
constexpr HRESULT WMACONV_E_BUSY = static_cast<HRESULT>(0xE00D0006);
// The library's codec module (libwmaconv_codec.so, beside the library) cannot be loaded.
constexpr HRESULT WMACONV_E_NOCODEC = static_cast<HRESULT>(0xE00D0007);

constexpr bool SUCCEEDED(HRESULT result) {
    return result >= 0;
}
constexpr bool FAILED(HRESULT result) {
    return result < 0;
}

// Called by the player on its feeding thread for each buffer it has played, with the
// instance value given to its constructor; the header's data and dwBytesRecorded hold the
// played 16-bit samples. The header is the player's: read it during the call only.
using WMAWAVEOUTCALLBACK = void (*)(void* instance, WAVEHDR* header);
// Called by the player on its feeding thread once when playing ends by itself: the whole file
// has played, or decoding or the device failed (the player's PlayResult tells which). Never
// after StopPlay has begun. The call may block until the caller has wound down; the finished
// event is set after it returns.
using WMAPLAYEOFCALLBACK = void (*)(void* instance);

// The version of the library, "major.minor.patch".
const char* WmaconvVersion();
