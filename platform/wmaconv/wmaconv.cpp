#include "wmaconv.h"

const char* WmaconvVersion() {
    return WMACONV_VERSION;
}
