// Korvel's eight exports, bound by the scan module.
#pragma once

#include "interfaces/api_table.h"
#include "interfaces/records.h"
#include "interfaces/ui_callbacks.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*UI_CreateFn)(const UiCallbacks* callbacks);
/// parent: a QWidget* or null; panel receives the main panel (QWidget*) or null.
typedef void (*UI_ShowFn)(void* parent, void** panel, const char* section);
typedef void (*UI_CloseFn)(void);
/// The same record for the library's whole life.
typedef ScanSetting* (*UI_GetSettingFn)(void);
/// 1 = go on, 0 = the user pressed Cancel.
typedef int (*UI_SetProgressFn)(int percent, int stage);
typedef void (*UI_SetScanImgFn)(int pixelType, int pixelsPerLine, int linesExpected, int fourth,
                                const unsigned char* data, int linesSoFar);
typedef int (*UI_ErrMsgFn)(int code);
typedef void (*UI_ScanCompleteFn)(void);

#ifdef __cplusplus
}

#define KORVEL_EXPORTS(X) \
  X(UI_Create) X(UI_Show) X(UI_Close) X(UI_GetSetting) X(UI_SetProgress) \
  X(UI_SetScanImg) X(UI_ErrMsg) X(UI_ScanComplete)
PX_DECLARE_API(KorvelApi, KORVEL_EXPORTS)
static_assert(kKorvelApiCount == 8);
#endif
