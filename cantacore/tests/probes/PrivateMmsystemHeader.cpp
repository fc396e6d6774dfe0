// Must not compile: the device handles are private to mmsystem.
#include "CMidiOutHandle.h"
