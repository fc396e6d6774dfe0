#pragma once

#include <fluidsynth.h>

#include <string>

// The functions of FluidSynth that the virtual ZQ31's voice calls.
#define CANTAVO_FLUID_FUNCTIONS(X)                                                                 \
    X(fluid_set_log_function)                                                                      \
    X(new_fluid_settings)                                                                          \
    X(delete_fluid_settings)                                                                       \
    X(fluid_settings_setint)                                                                       \
    X(fluid_settings_setnum)                                                                       \
    X(new_fluid_synth)                                                                             \
    X(delete_fluid_synth)                                                                          \
    X(fluid_synth_sfload)                                                                          \
    X(fluid_synth_set_gain)                                                                        \
    X(fluid_synth_program_change)                                                                  \
    X(fluid_synth_all_notes_off)                                                                   \
    X(fluid_synth_all_sounds_off)                                                                  \
    X(fluid_synth_cc)                                                                              \
    X(fluid_synth_set_gen)                                                                         \
    X(fluid_synth_noteon)                                                                          \
    X(fluid_synth_noteoff)                                                                         \
    X(fluid_synth_write_float)

// FluidSynth, opened when a voice is first made rather than when a program starts: with the
// thirty-odd libraries it brings (sound servers, SDL, codecs) it would add to every start,
// also of a program that drives the real instrument and never needs it.
class CFluidLibrary {
public:
    // Opens the library of that file name and looks up every function; IsLoaded says whether
    // all were found, Error why not.
    explicit CFluidLibrary(const char* file);
    CFluidLibrary(const CFluidLibrary&) = delete;
    CFluidLibrary& operator=(const CFluidLibrary&) = delete;
    ~CFluidLibrary();

    // The library the program was built against, opened once for the whole process with its
    // log messages silenced (failures come back as values); any thread may ask. It stays open
    // until the process ends, whatever voices outlive whom.
    static const CFluidLibrary& Installed();

    bool IsLoaded() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

#define CANTAVO_FLUID_POINTER(name) decltype(&::name) name = nullptr;
    CANTAVO_FLUID_FUNCTIONS(CANTAVO_FLUID_POINTER)
#undef CANTAVO_FLUID_POINTER

private:
    void* m_handle = nullptr;
    std::string m_error;
};
