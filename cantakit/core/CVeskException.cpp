#include "CVeskException.h"

// Out of line so that the vtable and type information live in Cantakit only.
CVeskException::~CVeskException() = default;
