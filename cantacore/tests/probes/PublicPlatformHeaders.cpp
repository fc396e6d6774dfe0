// Compiles: the platform's public headers reach the engine.
#include "CMessageReceiver.h"
#include "CPlayEvent.h"
#include "CSimplePlayer.h"
#include "CWinMsg.h"
#include "CWmaCompress.h"
#include "mmiscapi.h"
#include "mmsystem.h"
#include "mmsystemx.h"
#include "msacm.h"
#include "wmaconv.h"

int PublicPlatformHeadersProbe() {
    return MMSYSERR_NOERROR;
}
