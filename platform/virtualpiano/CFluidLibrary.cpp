#include "CFluidLibrary.h"

#include <dlfcn.h>

namespace {

void Quiet(int, const char*, void*) {}

} // namespace

CFluidLibrary::CFluidLibrary(const char* file) {
    m_handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* reason = ::dlerror();
        m_error = std::string("FluidSynth (") + file +
                  ") cannot be opened: " + (reason != nullptr ? reason : "no reason given");
        return;
    }
    const auto find = [this, file](const char* name) -> void* {
        void* symbol = ::dlsym(m_handle, name);
        if (symbol == nullptr && m_error.empty()) {
            m_error = std::string("FluidSynth (") + file + ") lacks " + name;
        }
        return symbol;
    };
#define CANTAVO_FLUID_LOOKUP(name) name = reinterpret_cast<decltype(name)>(find(#name));
    CANTAVO_FLUID_FUNCTIONS(CANTAVO_FLUID_LOOKUP)
#undef CANTAVO_FLUID_LOOKUP
    if (!m_error.empty()) {
        // Half a library is none: nothing of it may be called.
#define CANTAVO_FLUID_CLEAR(name) name = nullptr;
        CANTAVO_FLUID_FUNCTIONS(CANTAVO_FLUID_CLEAR)
#undef CANTAVO_FLUID_CLEAR
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

CFluidLibrary::~CFluidLibrary() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
    }
}

const CFluidLibrary& CFluidLibrary::Installed() {
    // Never closed: a voice kept by a static object may be destroyed after any static here.
    static const CFluidLibrary* const library = [] {
        auto* opened = new CFluidLibrary(CANTAVO_FLUIDSYNTH_SONAME);
        if (opened->IsLoaded()) {
            // Warnings (a preset a sound font lacks, and the like) would go to the program's
            // output.
            for (const int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
                opened->fluid_set_log_function(level, Quiet, nullptr);
            }
        }
        return opened;
    }();
    return *library;
}
