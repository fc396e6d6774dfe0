#pragma once

#include "mmsystem.h"

// The one report of a failed device call: a trace line with the function's name and the
// system's text for the code. Code 0 writes nothing. Returns the code.
MMRESULT KiroTraceFailure(const char* function, MMRESULT code,
                          MMRESULT (*text)(MMRESULT, char*, UINT));
