#include "CMetronome.h"

CMetronome::~CMetronome() = default;
