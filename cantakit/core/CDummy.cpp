#include "CDummy.h"

CDummy::~CDummy() = default;
