#include "CAudioRec.h"

CAudioRec::~CAudioRec() = default;
