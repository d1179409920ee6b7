// Marks a contract function as exported with C linkage; everything else in a
// library is hidden.
#pragma once

#ifdef __cplusplus
#define PX_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define PX_EXPORT __attribute__((visibility("default")))
#endif
