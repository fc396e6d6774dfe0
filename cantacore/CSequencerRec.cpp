#include "CSequencerRec.h"

CSequencerRec::~CSequencerRec() = default;
