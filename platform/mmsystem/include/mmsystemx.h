#pragma once

// What this library adds to the winmm calls: choosing the devices behind them.

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
// option --virtual-piano or CANTAVO_DEVICES=virtual, else the machine's own.
void mmxChooseDevices(int argc, char** argv);
// "virtual" or "alsa".
std::string mmxBackendName();
// The virtual ZQ31 in use, or null.
std::shared_ptr<CVirtualPiano> mmxVirtualPiano();
