// A tiny library for the loader tests: two exported names.
#include "interfaces/export.h"

PX_EXPORT int FirstName(void) { return 11; }
PX_EXPORT int SecondName(int x) { return x * 2; }
