#include "CFusion.h"

CFusion::~CFusion() = default;
