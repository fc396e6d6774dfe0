#include "CCodecModule.h"

#include <dlfcn.h>

namespace {

struct Loaded {
    const WmaconvCodec* codec = nullptr;
    std::string failure;
};

// The module's file: beside the library that holds this code, wherever it was installed.
std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&CCodecModule::Codec), &info) != 0 &&
        info.dli_fname != nullptr) {
        const std::string self = info.dli_fname;
        const std::size_t slash = self.rfind('/');
        if (slash != std::string::npos) {
            return self.substr(0, slash + 1) + CCodecModule::kFileName;
        }
    }
    return CCodecModule::kFileName;
}

Loaded Load() {
    Loaded loaded;
    const std::string path = ModulePath();
    // Never closed: decoders made by the module may live until the process ends.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        loaded.failure = why != nullptr ? why : "cannot load " + path;
        return loaded;
    }
    const auto entry =
        reinterpret_cast<WmaconvCodecEntryFunction>(dlsym(handle, WMACONV_CODEC_ENTRY));
    const WmaconvCodec* codec = entry != nullptr ? entry() : nullptr;
    if (codec == nullptr || codec->revision != WmaconvCodec::kRevision ||
        codec->openDecoder == nullptr || codec->compressWma == nullptr) {
        loaded.failure = path + " is not the codec module of this build";
        return loaded;
    }
    loaded.codec = codec;
    return loaded;
}

const Loaded& Module() {
    static const Loaded loaded = Load();
    return loaded;
}

} // namespace

const WmaconvCodec* CCodecModule::Codec() {
    return Module().codec;
}

std::string CCodecModule::Failure() {
    return Module().failure;
}
