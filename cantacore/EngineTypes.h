#pragma once

#include "IconMessages.h"
#include "WinTypes.h"

#include <cstdint>

// The settings the engine keeps, as the user sees them. All are 32-bit signed.

enum E_BEAT : std::int32_t {
    BEAT_NONE = 0,
    BEAT_2_4 = 1,
    BEAT_3_4 = 2,
    BEAT_4_4 = 3,
    BEAT_5_4 = 4,
    BEAT_6_8 = 5,
};

enum E_TIMBRE : std::int32_t {
    TIM_NONE = -1, // only for the dual voice
    TIM_GRANDPIANO = 0,
    TIM_UPRIGHTPIANO = 1,
    TIM_ELECPIANO1 = 2,
    TIM_ELECPIANO2 = 3,
    TIM_HARPSICHORD = 4,
    TIM_VIBRATION = 5,
    TIM_STRINGS = 6,
    TIM_PIPEORGAN = 7,
};

enum E_REVERB : std::int32_t {
    REVERB_ON = 0,
    REVERB_OFF = 1,
};

enum E_BRILLIANCE : std::int32_t {
    BRILL_BRITE = 0,
    BRILL_MIDBRITE = 1,
    BRILL_NORMAL = 2,
    BRILL_MIDDARK = 3,
    BRILL_DARK = 4,
};

enum E_TOUCHSENSE : std::int32_t {
    TOUCH_LIGHT = 0,
    TOUCH_MIDLIGHT = 1,
    TOUCH_NORMAL = 2,
    TOUCH_MIDHEAVY = 3,
    TOUCH_HEAVY = 4,
};

// Semitones from C.
enum E_TRANSPOSE : std::int32_t {
    TRANSPOSE_G = -5,
    TRANSPOSE_GS = -4,
    TRANSPOSE_A = -3,
    TRANSPOSE_AS = -2,
    TRANSPOSE_B = -1,
    TRANSPOSE_C = 0,
    TRANSPOSE_CS = 1,
    TRANSPOSE_D = 2,
    TRANSPOSE_DS = 3,
    TRANSPOSE_E = 4,
    TRANSPOSE_F = 5,
    TRANSPOSE_FS = 6,
};

// The key shift of MIDI playback, in semitones from C.
enum E_SEQKEY : std::int32_t {
    SEQKEY_G = -5,
    SEQKEY_GS = -4,
    SEQKEY_A = -3,
    SEQKEY_AS = -2,
    SEQKEY_B = -1,
    SEQKEY_C = 0,
    SEQKEY_CS = 1,
    SEQKEY_D = 2,
    SEQKEY_DS = 3,
    SEQKEY_E = 4,
    SEQKEY_F = 5,
    SEQKEY_FS = 6,
};

// A tuning step; 64 is standard pitch. The setter accepts 0..127.
enum E_TUNING : std::int32_t {
    TUNING_1 = 0,
    TUNING_STANDARD = 64,
    TUNING_2 = 127,
};

enum E_METROCHARTYPE : std::int32_t {
    MET_CHAR_1 = 0,
    MET_CHAR_2 = 1,
    MET_CHAR_3 = 2,
    MET_CHAR_4 = 3,
};

enum E_METSTATUS : std::int32_t {
    MET_STOP = 0,
    MET_START = 1,
};

enum E_DEMOSTATUS : std::int32_t {
    DEMO_STOP = 0,
    DEMO_START = 1,
};

enum E_COMPRESS_TYPE : std::int32_t {
    COMPRESS_WMA = 0,
    COMPRESS_MP3 = 1,
};

enum FROSTED_STYLE : std::int32_t {
    FROSTED_STYLE_DEFAULT = 0,
    FROSTED_STYLE_1 = 1,
    FROSTED_STYLE_2 = 2,
    FROSTED_STYLE_3 = 3,
    FROSTED_STYLE_NONE = 4,
};

// Window messages of the engine.
constexpr UINT WM_COMMAND = 0x0111;
// WM_DATACHANGE (0x416, re-read the model and redraw) and WM_FROSTEDSTYLE (0x41D, the
// palette's look) are the toolkit's, from IconMessages.h.
constexpr UINT WM_AUDLEVEL = WM_USER + 23; // 0x417: the two level meters

// The deferred commands to the engine's message window.
constexpr WPARAM ID_SPIN_TEMPO = 32775;
constexpr WPARAM ID_SPIN_TRANSPOSE = 32776;
constexpr WPARAM ID_SPIN_TUNING = 32777;
constexpr WPARAM ID_SPIN_BEAT = 32778;
