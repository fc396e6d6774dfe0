#pragma once

// What this library adds to the winmm calls: choosing the devices behind them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CMmBackend;
class CVirtualPiano;

// The devices are those of the virtual ZQ31 given (a new one when null), from now on.
std::shared_ptr<CVirtualPiano> mmxUseVirtualPiano(std::shared_ptr<CVirtualPiano> piano = nullptr);
// The devices are the machine's own (ALSA), from now on.
void mmxUseSystemDevices();
// The devices are those of the given backend, from now on.
void mmxUseBackend(std::shared_ptr<CMmBackend> backend);
// Chooses the devices as the program was asked to: the virtual ZQ31 with the command-line
// option --virtual-piano or CANTAVO_DEVICES=virtual, else the machine's own. The virtual ZQ31
// so chosen sounds with its voice where a sound font is installed (CANTAVO_SOUNDFONT=none keeps
// its plain tone); with --hear-piano or CANTAVO_HEAR_PIANO=1 it is chosen and also heard on the
// PC's default audio output. What cannot be done is said once on standard error.
// Loading the sound font takes a while; a program with a window of its own to show may leave
// it to a thread of its own (MmxVoice::InBackground): the piano plays its plain tone until the
// voice is in place, and mmxWaitForVoice (or the end of the process) waits for that thread.
enum class MmxVoice { Now, InBackground };
void mmxChooseDevices(int argc, char** argv, MmxVoice voice = MmxVoice::Now);
void mmxWaitForVoice();
// "virtual" or "alsa".
std::string mmxBackendName();
// The virtual ZQ31 in use, or null.
std::shared_ptr<CVirtualPiano> mmxVirtualPiano();

// The sample rates the wave devices open at; another is refused with WAVERR_BADFORMAT.
constexpr unsigned kMmxLowestWaveRate = 1000;
constexpr unsigned kMmxHighestWaveRate = 192000;

// Device-list changes. A backend calls mmxDevicesChanged whenever its lists of devices may have
// changed (a device plugged in or pulled out); choosing other devices is a change too.
void mmxDevicesChanged();
// How many changes there have been.
std::uint64_t mmxDeviceChanges();
// Whether the devices in use report their changes; where they do not, whoever watches the
// devices has to look for itself.
bool mmxDevicesReportChanges();
// Calls listener after every change, on the thread that reported it, with no lock of the
// library held but the listeners' own: it must return quickly and must not add or remove
// listeners. Gives an id for mmxUnlistenDevices, which returns when the listener is no
// longer running.
int mmxListenDevices(std::function<void()> listener);
void mmxUnlistenDevices(int id);
