// Must not compile: the streams and converters are private to msacm.
#include "CAcmStream.h"

int PrivateMsacmHeaderProbe() {
    return 0;
}
