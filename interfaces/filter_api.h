// Filter, the filter library: one numbered in-place filter on 8-bit rows.
#pragma once

#include "interfaces/api_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/// number and mode are used as 16-bit values; mode 0 = 1 bit, 1 = gray, 2 = colour.
/// Always returns 1.
typedef int (*FilterProcessFn)(int number, unsigned char* image, int mode, int rows,
                               int rowLength);

#ifdef __cplusplus
}

#define FILTER_EXPORTS(X) X(FilterProcess)
PX_DECLARE_API(FilterApi, FILTER_EXPORTS)
#endif
