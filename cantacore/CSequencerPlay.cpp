#include "CSequencerPlay.h"

CSequencerPlay::~CSequencerPlay() = default;
