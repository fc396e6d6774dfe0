// The winmm calls: they find the device or the handle and hand the work to its object.
#include "mmsystem.h"

#include "CMidiInHandle.h"
#include "CMidiOutHandle.h"
#include "CMidiStreamHandle.h"
#include "CMmSystem.h"
#include "CWaveInHandle.h"
#include "CWaveOutHandle.h"
#include "mmsystemx.h"

#include <cstring>

namespace {

CMmBackend& Devices() {
    static thread_local std::shared_ptr<CMmBackend> held;
    held = CMmSystem::Instance().Backend();
    return *held;
}

template <typename Port>
std::shared_ptr<Port> PortAt(const std::vector<std::shared_ptr<Port>>& ports, UINT_PTR id) {
    if (id == static_cast<UINT_PTR>(MIDI_MAPPER) || id == static_cast<UINT>(MIDI_MAPPER)) {
        id = 0; // the mapper plays through the first device
    }
    return id < ports.size() ? ports[id] : nullptr;
}

void CopyName(char (&target)[MAXPNAMELEN], const std::string& name) {
    std::memset(target, 0, sizeof target);
    std::strncpy(target, name.c_str(), sizeof target - 1);
}

MMRESULT CheckFormat(const WAVEFORMATEX* format) {
    if (format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const bool pcm = format->wFormatTag == WAVE_FORMAT_PCM;
    const bool channels = format->nChannels == 1 || format->nChannels == 2;
    const bool bits = format->wBitsPerSample == 8 || format->wBitsPerSample == 16;
    const bool rate = format->nSamplesPerSec >= kMmxLowestWaveRate &&
                      format->nSamplesPerSec <= kMmxHighestWaveRate;
    const unsigned align = format->nChannels * format->wBitsPerSample / 8;
    if (!pcm || !channels || !bits || !rate || format->nBlockAlign != align ||
        format->nAvgBytesPerSec != format->nSamplesPerSec * align) {
        return WAVERR_BADFORMAT;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT ErrorText(MMRESULT code, char* text, UINT size) {
    const char* message = CMmSystem::ErrorText(code);
    if (message == nullptr) {
        return MMSYSERR_BADERRNUM;
    }
    if (text == nullptr || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    std::strncpy(text, message, size - 1);
    text[size - 1] = '\0';
    return MMSYSERR_NOERROR;
}

template <typename H>
std::shared_ptr<H> Find(const void* handle) {
    return CMmHandle::Find<H>(handle);
}

// Opens a wave device of either direction; with WAVE_FORMAT_QUERY only checks the format.
template <typename H, typename Port>
MMRESULT OpenWave(H** handle, const std::vector<std::shared_ptr<Port>>& ports, UINT deviceId,
                  const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (handle == nullptr && !query) {
        return MMSYSERR_INVALPARAM;
    }
    if (handle != nullptr) {
        *handle = nullptr;
    }
    if (const MMRESULT check = CheckCallback(callback, flags); check != MMSYSERR_NOERROR) {
        return check;
    }
    const auto port = PortAt(ports, deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    if (const MMRESULT check = CheckFormat(format); check != MMSYSERR_NOERROR || query) {
        return check;
    }
    // A device that keeps time itself is opened now, so that a busy or vanished one refuses.
    std::unique_ptr<CMmBackend::WaveStream> stream;
    if (const MMRESULT opened = port->OpenStream(*format, stream); opened != MMSYSERR_NOERROR) {
        return opened;
    }
    const UINT id = deviceId == WAVE_MAPPER ? 0 : deviceId;
    const auto object =
        std::make_shared<H>(port, id, *format, callback, instance, flags, std::move(stream));
    CMmHandle::Add(object);
    *handle = object.get();
    return MMSYSERR_NOERROR;
}

// The device a handle was opened on.
template <typename H, typename Handle>
MMRESULT DeviceIdOf(Handle handle, UINT* deviceId) {
    const auto object = Find<H>(handle);
    if (!object) {
        return MMSYSERR_INVALHANDLE;
    }
    if (deviceId == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *deviceId = object->DeviceId();
    return MMSYSERR_NOERROR;
}

// Closes a handle whose object agrees, then forgets it.
template <typename H>
MMRESULT CloseHandle(H* handle) {
    const auto object = Find<H>(handle);
    if (!object) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = object->Close();
    if (result == MMSYSERR_NOERROR) {
        CMmHandle::Remove(handle);
    }
    return result;
}

} // namespace

// ------------------------------------------------------------------------------------------
// Devices and capabilities

UINT midiOutGetNumDevs() {
    return static_cast<UINT>(Devices().MidiOutPorts().size());
}

UINT midiInGetNumDevs() {
    return static_cast<UINT>(Devices().MidiInPorts().size());
}

UINT waveOutGetNumDevs() {
    return static_cast<UINT>(Devices().WaveOutPorts().size());
}

UINT waveInGetNumDevs() {
    return static_cast<UINT>(Devices().WaveInPorts().size());
}

MMRESULT midiOutGetDevCaps(UINT_PTR deviceId, MIDIOUTCAPS* caps, UINT size) {
    if (caps == nullptr || size < sizeof(MIDIOUTCAPS)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = PortAt(Devices().MidiOutPorts(), deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    std::memset(caps, 0, sizeof *caps);
    CopyName(caps->szPname, port->Name());
    caps->vDriverVersion = 0x0100;
    caps->wTechnology = MOD_MIDIPORT;
    caps->wChannelMask = 0xFFFF;
    caps->dwSupport = MIDICAPS_STREAM;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInGetDevCaps(UINT_PTR deviceId, MIDIINCAPS* caps, UINT size) {
    if (caps == nullptr || size < sizeof(MIDIINCAPS)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = PortAt(Devices().MidiInPorts(), deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    std::memset(caps, 0, sizeof *caps);
    CopyName(caps->szPname, port->Name());
    caps->vDriverVersion = 0x0100;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetDevCaps(UINT_PTR deviceId, WAVEOUTCAPS* caps, UINT size) {
    if (caps == nullptr || size < sizeof(WAVEOUTCAPS)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = PortAt(Devices().WaveOutPorts(), deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    std::memset(caps, 0, sizeof *caps);
    CopyName(caps->szPname, port->Name());
    caps->vDriverVersion = 0x0100;
    caps->dwFormats = 0x000FFFFF;
    caps->wChannels = 2;
    caps->dwSupport = WAVECAPS_SAMPLEACCURATE;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInGetDevCaps(UINT_PTR deviceId, WAVEINCAPS* caps, UINT size) {
    if (caps == nullptr || size < sizeof(WAVEINCAPS)) {
        return MMSYSERR_INVALPARAM;
    }
    const auto port = PortAt(Devices().WaveInPorts(), deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    std::memset(caps, 0, sizeof *caps);
    CopyName(caps->szPname, port->Name());
    caps->vDriverVersion = 0x0100;
    caps->dwFormats = 0x000FFFFF;
    caps->wChannels = 2;
    return MMSYSERR_NOERROR;
}

// ------------------------------------------------------------------------------------------
// MIDI output

namespace {

MMRESULT OpenMidiOut(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags, bool stream) {
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;
    if (const MMRESULT check = CheckCallback(callback, flags); check != MMSYSERR_NOERROR) {
        return check;
    }
    const auto port = PortAt(Devices().MidiOutPorts(), deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    const UINT id = deviceId == MIDI_MAPPER ? 0 : deviceId;
    std::shared_ptr<CMidiOutHandle> object;
    if (stream) {
        object = std::make_shared<CMidiStreamHandle>(port, id, callback, instance, flags);
    } else {
        object = std::make_shared<CMidiOutHandle>(port, id, callback, instance, flags);
    }
    CMmHandle::Add(object);
    *handle = object.get();
    return MMSYSERR_NOERROR;
}

} // namespace

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
    return OpenMidiOut(handle, deviceId, callback, instance, flags, false);
}

MMRESULT midiOutClose(HMIDIOUT handle) {
    return CloseHandle(handle);
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    const auto object = Find<CMidiOutHandle>(handle);
    return object ? object->ShortMsg(message) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size) {
    const auto object = Find<CMidiOutHandle>(handle);
    return object ? object->LongMsg(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
    const auto object = Find<CMidiOutHandle>(handle);
    return object ? object->Prepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
    const auto object = Find<CMidiOutHandle>(handle);
    return object ? object->Unprepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutReset(HMIDIOUT handle) {
    const auto object = Find<CMidiOutHandle>(handle);
    return object ? object->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutCachePatches(HMIDIOUT handle, UINT, WORD*, UINT) {
    // Patch caching is for internal synthesizers; a MIDI port has nothing to cache.
    return Find<CMidiOutHandle>(handle) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutCacheDrumPatches(HMIDIOUT handle, UINT, WORD*, UINT) {
    return Find<CMidiOutHandle>(handle) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutGetID(HMIDIOUT handle, UINT* deviceId) {
    return DeviceIdOf<CMidiOutHandle>(handle, deviceId);
}

MMRESULT midiOutGetErrorText(MMRESULT code, char* text, UINT size) {
    return ErrorText(code, text, size);
}

// ------------------------------------------------------------------------------------------
// MIDI stream output

MMRESULT midiStreamOpen(HMIDISTRM* handle, UINT* deviceId, DWORD count, DWORD_PTR callback,
                        DWORD_PTR instance, DWORD flags) {
    if (handle == nullptr || deviceId == nullptr || count != 1) {
        if (handle != nullptr) {
            *handle = nullptr;
        }
        return MMSYSERR_INVALPARAM;
    }
    return OpenMidiOut(handle, *deviceId, callback, instance, flags, true);
}

namespace {
std::shared_ptr<CMidiStreamHandle> FindStream(HMIDISTRM handle) {
    return Find<CMidiStreamHandle>(handle);
}
} // namespace

MMRESULT midiStreamClose(HMIDISTRM handle) {
    return FindStream(handle) ? CloseHandle(handle) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiStreamProperty(HMIDISTRM handle, BYTE* data, DWORD property) {
    const auto object = FindStream(handle);
    return object ? object->Property(data, property) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiStreamPosition(HMIDISTRM handle, MMTIME* time, UINT size) {
    const auto object = FindStream(handle);
    return object ? object->Position(time, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiStreamOut(HMIDISTRM handle, MIDIHDR* header, UINT size) {
    const auto object = FindStream(handle);
    return object ? object->Out(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiStreamPause(HMIDISTRM handle) {
    const auto object = FindStream(handle);
    return object ? object->Pause() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiStreamRestart(HMIDISTRM handle) {
    const auto object = FindStream(handle);
    return object ? object->Restart() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiStreamStop(HMIDISTRM handle) {
    const auto object = FindStream(handle);
    return object ? object->Stop() : MMSYSERR_INVALHANDLE;
}

// ------------------------------------------------------------------------------------------
// MIDI input

MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
    if (handle == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;
    if (const MMRESULT check = CheckCallback(callback, flags); check != MMSYSERR_NOERROR) {
        return check;
    }
    const auto port = PortAt(Devices().MidiInPorts(), deviceId);
    if (!port) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!CMmSystem::Instance().TakeMidiIn(port.get())) {
        return MMSYSERR_ALLOCATED;
    }
    const UINT id = deviceId == MIDI_MAPPER ? 0 : deviceId;
    const auto object = std::make_shared<CMidiInHandle>(port, id, callback, instance, flags);
    CMmHandle::Add(object);
    *handle = object.get();
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN handle) {
    const auto object = Find<CMidiInHandle>(handle);
    if (!object) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = object->Close();
    if (result == MMSYSERR_NOERROR) {
        CMmHandle::Remove(handle);
        CMmSystem::Instance().ReleaseMidiIn(object->PortAddress());
    }
    return result;
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size) {
    const auto object = Find<CMidiInHandle>(handle);
    return object ? object->Prepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size) {
    const auto object = Find<CMidiInHandle>(handle);
    return object ? object->Unprepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT size) {
    const auto object = Find<CMidiInHandle>(handle);
    return object ? object->AddBuffer(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInStart(HMIDIIN handle) {
    const auto object = Find<CMidiInHandle>(handle);
    return object ? object->Start() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInStop(HMIDIIN handle) {
    const auto object = Find<CMidiInHandle>(handle);
    return object ? object->Stop() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInReset(HMIDIIN handle) {
    const auto object = Find<CMidiInHandle>(handle);
    return object ? object->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInGetID(HMIDIIN handle, UINT* deviceId) {
    return DeviceIdOf<CMidiInHandle>(handle, deviceId);
}

MMRESULT midiInGetErrorText(MMRESULT code, char* text, UINT size) {
    return ErrorText(code, text, size);
}

// ------------------------------------------------------------------------------------------
// Wave output

MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    return OpenWave<CWaveOutHandle>(handle, Devices().WaveOutPorts(), deviceId, format, callback,
                                    instance, flags);
}

MMRESULT waveOutClose(HWAVEOUT handle) {
    return CloseHandle(handle);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Prepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Unprepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Write(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutPause(HWAVEOUT handle) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Pause() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutRestart(HWAVEOUT handle) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Restart() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutReset(HWAVEOUT handle) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutBreakLoop(HWAVEOUT handle) {
    // Buffers are played once each; there is never a loop to break.
    return Find<CWaveOutHandle>(handle) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetPosition(HWAVEOUT handle, MMTIME* time, UINT size) {
    const auto object = Find<CWaveOutHandle>(handle);
    return object ? object->Position(time, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetPitch(HWAVEOUT handle, DWORD*) {
    return Find<CWaveOutHandle>(handle) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutSetPitch(HWAVEOUT handle, DWORD) {
    return Find<CWaveOutHandle>(handle) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetPlaybackRate(HWAVEOUT handle, DWORD*) {
    return Find<CWaveOutHandle>(handle) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutSetPlaybackRate(HWAVEOUT handle, DWORD) {
    return Find<CWaveOutHandle>(handle) ? MMSYSERR_NOTSUPPORTED : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetID(HWAVEOUT handle, UINT* deviceId) {
    return DeviceIdOf<CWaveOutHandle>(handle, deviceId);
}

MMRESULT waveOutGetErrorText(MMRESULT code, char* text, UINT size) {
    return ErrorText(code, text, size);
}

// ------------------------------------------------------------------------------------------
// Wave input

MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    return OpenWave<CWaveInHandle>(handle, Devices().WaveInPorts(), deviceId, format, callback,
                                   instance, flags);
}

MMRESULT waveInClose(HWAVEIN handle) {
    return CloseHandle(handle);
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->Prepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->Unprepare(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->AddBuffer(header, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInStart(HWAVEIN handle) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->Start() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInStop(HWAVEIN handle) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->Stop() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInReset(HWAVEIN handle) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInGetPosition(HWAVEIN handle, MMTIME* time, UINT size) {
    const auto object = Find<CWaveInHandle>(handle);
    return object ? object->Position(time, size) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveInGetID(HWAVEIN handle, UINT* deviceId) {
    return DeviceIdOf<CWaveInHandle>(handle, deviceId);
}

MMRESULT waveInGetErrorText(MMRESULT code, char* text, UINT size) {
    return ErrorText(code, text, size);
}
