// The scan module's ten exports, called by the host (the TWAIN data source).
// Every export returns 0 success, 1 failure, 2 cancelled by the user,
// 3 transfer finished.
#pragma once

#include <stdint.h>

#include "interfaces/api_table.h"
#include "interfaces/records.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { QR_SUCCESS = 0, QR_FAILURE = 1, QR_CANCELLED = 2, QR_FINISHED = 3 };

/// Called by Quorra without arguments; the result is ignored or passed on.
typedef int (*HostCallback)(void);

typedef uint16_t (*GetProductNameFn)(char* buffer, int length);
typedef uint16_t (*OpenDSFn)(HostCallback imageReady, HostCallback hostEvent, int reportErrors);
/// parent: a QWidget* or null; panel receives Korvel's panel (a QWidget*).
typedef uint16_t (*OpenUIFn)(void* parent, void** panel, int reduceDepth, const char* section);
typedef uint16_t (*SetScanSettingsFn)(const HostSetting* setting);
typedef uint16_t (*NoUItoXferImageFn)(void);
typedef uint16_t (*GetImageInfoFn)(ImageInfo* info);
/// Receives a GlobalAlloc handle the host frees with GlobalFree.
typedef uint16_t (*GetImageDIBFn)(void** globalHandle);
typedef uint16_t (*GetImageMemFn)(void* destination, uint32_t size, MemBlockInfo* block);
typedef uint16_t (*CloseUIFn)(void);
typedef uint16_t (*CloseDSFn)(void);

#ifdef __cplusplus
}

#define QUORRA_EXPORTS(X) \
  X(GetProductName) X(OpenDS) X(OpenUI) X(SetScanSettings) X(NoUItoXferImage) \
  X(GetImageInfo) X(GetImageDIB) X(GetImageMem) X(CloseUI) X(CloseDS)
PX_DECLARE_API(QuorraApi, QUORRA_EXPORTS)
static_assert(kQuorraApiCount == 10);
#endif
