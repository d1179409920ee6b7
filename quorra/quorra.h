// The scan module's ten exports, as the host (the TWAIN data source) calls
// them. Results: 0 success, 1 failure, 2 cancelled by the user, 3 transfer
// finished. Records are never freed by the module; the DIB handle handed out
// belongs to the host (px::GlobalFree).
#pragma once

#include <stdint.h>

#include "interfaces/export.h"
#include "interfaces/quorra_api.h"

/// Copies at most length - 1 characters of the product name and a zero.
PX_EXPORT uint16_t GetProductName(char* buffer, int length);
/// Loads the libraries, hands the callbacks to the user interface and opens
/// the device. imageReady announces each page; hostEvent asks to close.
PX_EXPORT uint16_t OpenDS(HostCallback imageReady, HostCallback hostEvent, int reportErrors);
PX_EXPORT uint16_t OpenUI(void* parent, void** panel, int reduceDepth, const char* section);
PX_EXPORT uint16_t SetScanSettings(const HostSetting* setting);
/// Scans and processes one page without the user interface.
PX_EXPORT uint16_t NoUItoXferImage(void);
/// 1 without touching `info` when no page is ready.
PX_EXPORT uint16_t GetImageInfo(ImageInfo* info);
/// 3 with a new DIB in *globalHandle; the page is gone afterwards.
PX_EXPORT uint16_t GetImageDIB(void** globalHandle);
/// 0 for each block, 3 for the last one.
PX_EXPORT uint16_t GetImageMem(void* destination, uint32_t size, MemBlockInfo* block);
PX_EXPORT uint16_t CloseUI(void);
PX_EXPORT uint16_t CloseDS(void);
