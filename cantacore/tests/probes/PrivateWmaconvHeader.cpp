// Must not compile: the decoding is private to wmaconv.
#include "CMediaDecoder.h"

int PrivateWmaconvHeaderProbe() {
    return 0;
}
