#pragma once

#include "WmaconvCodec.h"

#include <string>

// Loads the codec module that lies beside this library, the first time anything asks for it,
// and keeps it for the life of the process. FFmpeg and the hundred-odd libraries it brings
// are loaded with it, so a program that starts without playing or compressing anything
// starts faster and smaller.
class CCodecModule {
public:
    static constexpr const char* kFileName = "libwmaconv_codec.so";

    // The module's table, or null when it cannot be loaded (missing, damaged or from another
    // build); Failure() then tells why.
    static const WmaconvCodec* Codec();
    static std::string Failure();
};
