#include "CEngineServices.h"

#include "CCheckUSBdev.h"
#include "CLast.h"
#include "CSysinfo.h"

namespace {
// The engine's services, registered while the library loads and kept to the end.
[[maybe_unused]] CEngineServices* const g_services = new CEngineServices;
} // namespace

CEngineServices::CEngineServices() {
    CLast::InitDummy(this);
}

CEngineServices::~CEngineServices() = default;

unsigned int CEngineServices::GetWaveOutDev() {
    return static_cast<unsigned int>(CCheckUSBdev::GetWaveOutDev());
}

unsigned int CEngineServices::GetWaveInDev() {
    return static_cast<unsigned int>(CCheckUSBdev::GetWaveInDev());
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
