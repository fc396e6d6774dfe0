// Compiles: the platform's public headers reach the engine.
#include "CMessageReceiver.h"
#include "CWinMsg.h"
#include "mmiscapi.h"
#include "mmsystem.h"
#include "mmsystemx.h"

int PublicPlatformHeadersProbe() {
    return MMSYSERR_NOERROR;
}
