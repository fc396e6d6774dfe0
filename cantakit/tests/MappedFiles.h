#pragma once

// Whether a file whose path contains part is mapped into this process now: a library loaded
// by linking or by dlopen. Tests use it to show that a costly library is loaded only when
// first needed.
bool IsMapped(const char* part);
