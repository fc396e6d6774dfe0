#include "CEngineServices.h"

#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CSysinfo.h"
#include "mmsystem.h"

namespace {
// The engine's services, registered while the library loads and kept to the end.
[[maybe_unused]] CEngineServices* const g_services = new CEngineServices;
} // namespace

CEngineServices::CEngineServices() {
    CLast::InitDummy(this);
}

CEngineServices::~CEngineServices() = default;

// Without the piano the number is the count of devices, which names none: -1 would be the
// wave mapper, and the audio would go to the computer's own output instead of failing.
unsigned int CEngineServices::GetWaveOutDev() {
    const int id = CCheckUSBdev::GetWaveOutDev();
    return id >= 0 ? static_cast<unsigned int>(id) : waveOutGetNumDevs();
}

unsigned int CEngineServices::GetWaveInDev() {
    const int id = CCheckUSBdev::GetWaveInDev();
    return id >= 0 ? static_cast<unsigned int>(id) : waveInGetNumDevs();
}

// The reports go nowhere until the engine's receiver exists: audio runs only after that.
void CEngineServices::PostAudLevelMeter(E_AUDLEVELOUT left, E_AUDLEVELOUT right) {
    if (CLast::HasSysinfo()) {
        CLast::Sysinfo().PostAudLevelMeter(left, right);
    }
}

void CEngineServices::StopAudPlayFromMiddle() {
    if (CLast::HasSysinfo()) {
        CLast::Sysinfo().StopAudPlayFromMiddle();
    }
}

void CEngineServices::PostAudTimeDisp(unsigned int milliseconds) {
    if (CLast::HasSysinfo()) {
        CLast::Sysinfo().PostAudTimeDisp(milliseconds);
    }
}

void CEngineServices::StopAudRecFromMiddle() {
    if (CLast::HasSysinfo()) {
        CLast::Sysinfo().StopAudRecFromMiddle();
    }
}

void CEngineServices::ErrorMessageFromMiddle(CVeskError error) {
    if (CLast::HasSysinfo()) {
        CLast::Sysinfo().ErrorMessageFromMiddle(error);
    }
}
