#include "CAudioPlay.h"

CAudioPlay::~CAudioPlay() = default;
