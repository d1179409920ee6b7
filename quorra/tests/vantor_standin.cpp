// Recording stand-in for the scanner library.
#include <cstring>
#include <string>

#include "interfaces/export.h"
#include "interfaces/vantor_api.h"
#include "quorra/tests/standin_log.h"

using standin::Ctl;
using standin::Record;

namespace {
VantorScanParameters g_params{};
VantorLineProgress g_progress = nullptr;

int BytesPerPixel(int mode) {
  switch (mode) {
    case 1: return 1;
    case 2: return 3;
    case 9: return 2;
    case 10: return 6;
    default: return 0;
  }
}

VantorGeometry CurrentGeometry() {
  const standin::VantorControls& c = Ctl().vantor;
  if (c.useGeometry) return c.geometry;
  VantorGeometry g{};
  const uint32_t res = g_params.resolution;
  g.xDpi = g.yDpi = static_cast<uint16_t>(res);
  const uint32_t pixels = g_params.width * res / 300;
  g.bytesPerLine = pixels * static_cast<uint32_t>(BytesPerPixel(g_params.mode));
  g.lines = g_params.height * res / 300;
  return g;
}
}  // namespace

PX_EXPORT int _Open() {
  Record("Vantor._Open");
  if (Ctl().vantor.openFailures > 0) {
    --Ctl().vantor.openFailures;
    return 0;
  }
  return 1;
}

PX_EXPORT void GetGammaInfo(VantorGammaInfo* b) {
  Record("Vantor.GetGammaInfo mode=" + std::to_string(b->mode));
  b->status = Ctl().vantor.gammaStatus;
  const bool wide = b->mode == 9 || b->mode == 10;
  b->inputBits = wide ? 16 : 10;
  b->outputBits = wide ? 16 : 8;
}

PX_EXPORT void SetParameters(VantorScanParameters* b) {
  g_params = *b;
  Record("Vantor.SetParameters left=" + std::to_string(b->left) + " top=" +
         std::to_string(b->top) + " width=" + std::to_string(b->width) + " height=" +
         std::to_string(b->height) + " dpi=" + std::to_string(b->resolution) + " mode=" +
         std::to_string(b->mode) + " fixed=" + std::to_string(b->reserved128) + "," +
         std::to_string(b->zero1) + "," + std::to_string(b->zero2) +
         " table=" + standin::NameOf(reinterpret_cast<const void*>(b->toneTable)));
  b->status = Ctl().vantor.setParametersStatus;
}

PX_EXPORT void GetParameters(VantorGeometry* b) {
  Record("Vantor.GetParameters");
  *b = CurrentGeometry();
}

PX_EXPORT void StartScanEx(VantorStartBlock* b, int flag) {
  g_progress = reinterpret_cast<VantorLineProgress>(b->progress);
  Record(std::string("Vantor.StartScanEx flag=") + std::to_string(flag) +
         " progress=" + (g_progress ? "yes" : "no") + " zero=" + std::to_string(b->zero));
  b->status = Ctl().vantor.startStatus;
}

PX_EXPORT void ReadScannedData(VantorReadBlock* b) {
  standin::Name(reinterpret_cast<void*>(b->buffer), "page");
  Record("Vantor.ReadScannedData order=" + std::to_string(b->channelOrder) +
         " wanted=" + std::to_string(b->linesWanted));
  const standin::VantorControls& c = Ctl().vantor;
  const VantorGeometry g = CurrentGeometry();
  auto* out = reinterpret_cast<uint8_t*>(b->buffer);
  int lines = c.deliverLines < 0 ? b->linesWanted : c.deliverLines;
  b->status = c.readStatus;
  for (int y = 0; y < lines; ++y) {
    // Writes only the lines wanted: the buffer holds no more.
    if (y < b->linesWanted) {
      uint8_t* row = out + static_cast<size_t>(y) * g.bytesPerLine;
      for (uint32_t i = 0; i < g.bytesPerLine; ++i) {
        const size_t at = static_cast<size_t>(y) * g.bytesPerLine + i;
        row[i] = at < c.pageData.size() ? c.pageData[at] : standin::PatternByte(y, i);
      }
    }
    if (c.reportLines && g_progress && g_progress(y + 1) == 0) {
      b->linesDelivered = static_cast<uint16_t>(y + 1);
      b->status = VANTOR_STOPPED;
      return;
    }
  }
  b->linesDelivered = static_cast<uint16_t>(lines);
  if (c.rewriteWanted >= 0) b->linesWanted = static_cast<uint16_t>(c.rewriteWanted);
}

PX_EXPORT void StopScan(VantorStatusBlock* b) {
  Record("Vantor.StopScan");
  b->status = 0;
}

PX_EXPORT int _Close() {
  Record("Vantor._Close");
  return 1;
}

PX_EXPORT uint16_t CalibrateScanner(int mode, VantorStepProgress progress) {
  Record("Vantor.CalibrateScanner mode=" + std::to_string(mode));
  if (progress) {
    progress(1, 4);
    progress(4, 4);
  }
  return Ctl().vantor.calibrateResult;
}

PX_EXPORT int IsPaperOn() {
  Record("Vantor.IsPaperOn");
  return Ctl().vantor.paperOn;
}
PX_EXPORT int IsCalibrationNeeded() {
  Record("Vantor.IsCalibrationNeeded");
  return Ctl().vantor.calibrationNeeded;
}
PX_EXPORT int IsButtonOn() {
  Record("Vantor.IsButtonOn");
  return Ctl().vantor.buttonOn;
}
PX_EXPORT int RollPaper() {
  Record("Vantor.RollPaper");
  return Ctl().vantor.rollPaper;
}
