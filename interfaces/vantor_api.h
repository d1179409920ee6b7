// Vantor, the scanner device library. Most functions take one block whose
// first field is a 16-bit status written by the library (0 = success).
// Address fields are pointer-sized; everything else is packed as listed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "interfaces/api_table.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  VANTOR_OK = 0,
  VANTOR_STARTED = 43,      // also a good StartScanEx status
  VANTOR_STOPPED = 42,      // the reading progress function answered 0
  VANTOR_SHORT_PAGE = 50,   // fewer lines than wanted; still good
  VANTOR_NO_BLOCK = 46      // the caller gave no block
};

enum { VANTOR_ORDER_RGB = 0, VANTOR_ORDER_BGR = 1 };

#pragma pack(push, 1)

typedef struct VantorGammaInfo {
  uint16_t status;
  uint16_t mode;
  uint16_t inputBits;   // out
  uint16_t outputBits;  // out
} VantorGammaInfo;

typedef struct VantorScanParameters {
  uint16_t status;
  uint16_t left;    // 1/300 inch
  uint16_t top;
  uint16_t width;
  uint16_t height;
  uint16_t resolution;  // dpi
  uint16_t mode;
  uint16_t reserved128;  // callers pass 128
  uint8_t zero1;
  uint8_t zero2;
  uintptr_t toneTable;  // address of a MappingTable's entries, or 0
} VantorScanParameters;

typedef struct VantorGeometry {
  uint16_t status;
  uint16_t xDpi;
  uint16_t yDpi;
  uint32_t bytesPerLine;
  uint32_t lines;
} VantorGeometry;

/// Called with the number of lines read so far; 0 asks the device to stop.
typedef int (*VantorLineProgress)(int linesSoFar);
/// Called with (done, total) during calibration and cleaning.
typedef int (*VantorStepProgress)(int done, int total);

typedef struct VantorStartBlock {
  uint16_t status;
  uintptr_t progress;  // a VantorLineProgress, or 0
  uintptr_t zero;
} VantorStartBlock;

typedef struct VantorReadBlock {
  uint16_t status;
  uint16_t channelOrder;  // 0 R,G,B; 1 B,G,R
  uint16_t linesWanted;
  uint16_t linesDelivered;  // out
  uintptr_t buffer;         // linesWanted x bytes per line
} VantorReadBlock;

typedef struct VantorStatusBlock {
  uint16_t status;
} VantorStatusBlock;

#pragma pack(pop)

typedef int (*_OpenFn)(void);
typedef void (*GetGammaInfoFn)(VantorGammaInfo* block);
typedef void (*SetParametersFn)(VantorScanParameters* block);
typedef void (*GetParametersFn)(VantorGeometry* block);
typedef void (*StartScanExFn)(VantorStartBlock* block, int flag);
typedef void (*ReadScannedDataFn)(VantorReadBlock* block);
typedef void (*StopScanFn)(VantorStatusBlock* block);
typedef int (*_CloseFn)(void);
/// mode 0 calibrate with the calibration sheet, 1 clean; 0 = done.
typedef uint16_t (*CalibrateScannerFn)(int mode, VantorStepProgress progress);
typedef int (*IsPaperOnFn)(void);
typedef int (*IsCalibrationNeededFn)(void);
typedef int (*IsButtonOnFn)(void);
typedef int (*RollPaperFn)(void);

#ifdef __cplusplus
}

static_assert(sizeof(VantorGammaInfo) == 8);
static_assert(sizeof(VantorScanParameters) == 18 + sizeof(uintptr_t));
static_assert(offsetof(VantorScanParameters, toneTable) == 18);
static_assert(sizeof(VantorGeometry) == 14);
static_assert(sizeof(VantorStartBlock) == 2 + 2 * sizeof(uintptr_t));
static_assert(sizeof(VantorReadBlock) == 8 + sizeof(uintptr_t));

#define VANTOR_EXPORTS(X) \
  X(_Open) X(GetGammaInfo) X(SetParameters) X(GetParameters) X(StartScanEx) \
  X(ReadScannedData) X(StopScan) X(_Close) X(CalibrateScanner) X(IsPaperOn) \
  X(IsCalibrationNeeded) X(IsButtonOn) X(RollPaper)
PX_DECLARE_API(VantorApi, VANTOR_EXPORTS)
static_assert(kVantorApiCount == 13);
#endif
