#include "KiroTrace.h"

#include "CLast.h"
#include "CTrace.h"

MMRESULT KiroTraceFailure(const char* function, MMRESULT code,
                          MMRESULT (*text)(MMRESULT, char*, UINT)) {
    if (code == MMSYSERR_NOERROR) {
        return code;
    }
    char message[260] = {};
    text(code, message, sizeof message);
    CLast::Trace().TraceLine() << function << " : " << message << "\n";
    return code;
}
