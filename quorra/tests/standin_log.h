// Shared by the recording stand-ins and the tests: one log of every call the
// scan module makes into its libraries, and the knobs that steer what the
// stand-ins answer. A plain shared library, so every stand-in and the test
// program see the same instance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/records.h"
#include "interfaces/ui_callbacks.h"
#include "interfaces/vantor_api.h"

#define STANDIN_API __attribute__((visibility("default")))

namespace standin {

struct VantorControls {
  int openFailures = 0;          // _Open answers 0 this many times first
  uint16_t gammaStatus = 0;
  uint16_t setParametersStatus = 0;
  // Geometry: when useGeometry is false it follows SetParameters (the frame at
  // the scan resolution, in the mode's layout).
  bool useGeometry = false;
  VantorGeometry geometry{};
  uint16_t startStatus = 0;
  uint16_t readStatus = 0;
  int deliverLines = -1;          // -1: every wanted line
  int rewriteWanted = -1;         // >= 0: the read block's lines wanted afterwards
  bool reportLines = true;        // call the line progress after each line
  std::vector<uint8_t> pageData;  // rows of bytesPerLine; empty: a fixed pattern
  int paperOn = 1;
  int calibrationNeeded = 0;
  int buttonOn = 0;
  int rollPaper = 7;
  uint16_t calibrateResult = 0;
};

struct KorvelControls {
  ScanSetting setting{};
  UiCallbacks callbacks{};
  int errMsgResult = 0;
  // UI_SetProgress answers 0 on the first call with this stage whose percent
  // reaches cancelPercent.
  int cancelStage = -1;
  int cancelPercent = 0;
  bool logProgress = true;
  void* panel = nullptr;
};

struct GeometryControls {
  bool deskewReturnsNull = false;
  bool cropReturnsNull = false;
  bool zoomReturnsNull = false;
  int trim = 1;  // deskew and crop remove this many pixels at every edge
  bool emptyResult = false;  // deskew and crop return a buffer sized 0 x 0
  bool inPlace = false;      // deskew and crop hand back the image they were given
};

struct Controls {
  VantorControls vantor;
  KorvelControls korvel;
  GeometryControls geometry;
};

STANDIN_API void Reset();
STANDIN_API Controls& Ctl();
STANDIN_API void Record(const std::string& line);
STANDIN_API std::vector<std::string>& Log();
/// Names buffers so the log can say which image a call received.
STANDIN_API void Name(const void* address, const std::string& name);
STANDIN_API std::string NameOf(const void* address);
/// A counter per prefix: "geom" -> geom1, geom2, ...
STANDIN_API std::string NextName(const std::string& prefix);

/// The byte the simulated page holds at (row, offset) when no data is given.
inline uint8_t PatternByte(uint32_t row, uint32_t offset) {
  return static_cast<uint8_t>(row * 31u + offset * 7u + 3u);
}

}  // namespace standin
