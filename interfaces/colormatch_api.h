// ColorMatch: colour correction driven by a data file (Sepcal.ini / CM.ini).
#pragma once

#include "interfaces/api_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Reads the data file; a missing or broken file makes later calls no-ops.
/// Returns nonzero when the file was usable.
typedef int (*SetColorMatchFileNameFn)(const char* path);
/// In place; order 0 R,G,B, 1 B,G,R. Result ignored by callers.
typedef int (*ColorMatchFunFn)(unsigned char* image, int height, int width, int order);
/// Same for 16-bit little-endian samples.
typedef int (*ColorMatchFun30_36Fn)(void* image, int height, int width, int order);

#ifdef __cplusplus
}

#define COLORMATCH_EXPORTS(X) X(SetColorMatchFileName) X(ColorMatchFun) X(ColorMatchFun30_36)
PX_DECLARE_API(ColorMatchApi, COLORMATCH_EXPORTS)
#endif
