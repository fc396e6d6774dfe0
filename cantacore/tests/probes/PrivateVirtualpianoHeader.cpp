// Must not compile: the voice and the loudspeaker are private to the virtual ZQ31.
#include "CPianoVoice.h"
