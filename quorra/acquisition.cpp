// Acquisition: from the current settings to one page of raw device data, and
// the clean-up that ends every page whatever happened.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "quorra/scan_state.h"

namespace quorra {

bool ModeFromPixelType(uint32_t pixelType, ModeFields& mode) {
  static constexpr ModeFields kModes[5] = {
      {PX_PIXEL_COLOR24, PX_MODE_COLOR8, 24, 3, 0}, {PX_PIXEL_GRAY8, PX_MODE_GRAY8, 8, 1, 0},
      {PX_PIXEL_BW, PX_MODE_GRAY8, 1, 1, 1},        {PX_PIXEL_COLOR48, PX_MODE_COLOR16, 48, 3, 0},
      {PX_PIXEL_GRAY16, PX_MODE_GRAY16, 16, 1, 0}};
  if (pixelType > 4) return false;
  mode = kModes[pixelType];
  return true;
}

int DeviceBytesPerPixel(int deviceMode) {
  switch (deviceMode) {
    case PX_MODE_GRAY8: return 1;
    case PX_MODE_COLOR8: return 3;
    case PX_MODE_GRAY16: return 2;
    case PX_MODE_COLOR16: return 6;
    default: return 0;
  }
}

namespace {

uint16_t Low16(int32_t value) { return static_cast<uint16_t>(value); }

// Resolutions are 16-bit: anything that does not fit as a positive number is
// refused later by the set-up instead of dividing by it.
int Resolution16(int32_t value) { return static_cast<int16_t>(Low16(value)); }

void FreeTable(MappingTable*& table) {
  if (table && State().tembra.FreeEnhanceTable) State().tembra.FreeEnhanceTable(table);
  table = nullptr;
}

EnhanceParam Bounded(EnhanceParam p) {
  // Tembra reads CurvePointCount points from a 15-point record.
  if (p.CurvePointCount > 15) p.CurvePointCount = 15;
  return p;
}

int ScanProgress(int linesSoFar) {
  ScanState& s = State();
  if (!s.progress) return 1;
  if (s.korvel.UI_SetScanImg) {
    s.korvel.UI_SetScanImg(s.mode.pixelType, s.pixelsPerLine, s.linesWanted, 128, s.pageBuffer,
                           linesSoFar);
  }
  const unsigned percent =
      s.linesWanted ? static_cast<unsigned>(linesSoFar) * 100u / s.linesWanted : 0u;
  return SetProgress(static_cast<int>(percent), PX_STAGE_READING);
}

uint16_t ToDeviceUnits(uint16_t pixels, int resolution) {
  const uint64_t v = uint64_t{pixels} * 300 / static_cast<uint64_t>(resolution);
  return static_cast<uint16_t>(std::min<uint64_t>(v, 0xFFFF));
}

}  // namespace

void ClearProcessing() {
  ScanState& s = State();
  s.deskew = s.crop = s.autoLevel = 0;
  s.hue = s.saturation = 0;
  s.filterNumber = 0;
  s.descreenFilter = 0;
  s.descreenByResolution = 0;
  s.descreenResolution = 0;
  FreeTable(s.enhanceTable);
}

void ApplyScanSetting(const ScanSetting& setting) {
  ScanState& s = State();
  if (ModeFromPixelType(static_cast<uint32_t>(setting.PixelType), s.mode)) {
    FreeTable(s.enhanceTable);
    const TembraApi& t = s.tembra;
    switch (s.mode.pixelType) {
      case PX_PIXEL_COLOR24:
      case PX_PIXEL_COLOR48: {
        const int bits = s.mode.pixelType == PX_PIXEL_COLOR24 ? 8 : 16;
        if (t.CreateColorMappingTable)
          s.enhanceTable = t.CreateColorMappingTable(bits, bits, Bounded(setting.Red),
                                                     Bounded(setting.Green),
                                                     Bounded(setting.Blue), 0, nullptr);
        break;
      }
      default: {
        const int bits = s.mode.pixelType == PX_PIXEL_GRAY16 ? 16 : 8;
        if (t.CreateGrayMappingTable)
          s.enhanceTable = t.CreateGrayMappingTable(bits, bits, Bounded(setting.Gray), 0, nullptr);
        break;
      }
    }
  }
  s.resolution = Resolution16(setting.Resolution);
  s.left = Low16(setting.Corners[0].x);
  s.top = Low16(setting.Corners[0].y);
  s.width = Low16(setting.Corners[2].x);
  s.height = Low16(setting.Corners[2].y);
  s.deskew = setting.Deskew;
  s.crop = setting.Crop;
  s.autoLevel = setting.AutoLevel;
  s.hue = setting.Hue;
  s.saturation = setting.Saturation;

  s.descreenFilter = 0;
  s.descreenByResolution = 0;
  s.descreenResolution = 0;
  static constexpr float kScreenFactor = 2.1213f;
  switch (setting.DescreenType) {
    case 1: s.descreenFilter = 1; break;
    case 2: case 3: case 4: {
      static constexpr int kLinesPerInch[3] = {133, 150, 175};
      const float dpi = static_cast<float>(kLinesPerInch[setting.DescreenType - 2]) * kScreenFactor;
      s.descreenByResolution = 1;
      s.descreenResolution = static_cast<int>(dpi);
      break;
    }
    default: break;
  }

  static constexpr int kFilterNumbers[9] = {0, 3, 5, 1, 2, 7, 8, 4, 6};
  const int choice = setting.FilterChoice;
  s.filterNumber = (choice >= 1 && choice <= 8) ? kFilterNumbers[choice] : 0;
}

StepResult SetUpDevice() {
  ScanState& s = State();
  const VantorApi& v = s.vantor;
  if (!v.GetGammaInfo || !v.SetParameters || !v.GetParameters) return StepResult::kSetupFailed;
  if (s.resolution <= 0) return StepResult::kSetupFailed;
  if (s.descreenByResolution && s.descreenResolution <= 0) return StepResult::kSetupFailed;

  EnhanceParam params[4];
  ReadDeviceEnhance(s.iniPath, s.mode.blackAndWhite != 0, params);
  FreeTable(s.deviceTable);
  VantorGammaInfo gamma{};
  gamma.mode = static_cast<uint16_t>(s.mode.deviceMode);
  v.GetGammaInfo(&gamma);
  // A device that cannot say which table it wants gets none.
  if (gamma.status == VANTOR_OK) {
    if (s.mode.deviceMode == PX_MODE_GRAY8 || s.mode.deviceMode == PX_MODE_GRAY16) {
      if (s.tembra.CreateGrayMappingTable)
        s.deviceTable = s.tembra.CreateGrayMappingTable(gamma.inputBits, gamma.outputBits, params[3],
                                                        0, nullptr);
    } else if (s.tembra.CreateColorMappingTable) {
      s.deviceTable = s.tembra.CreateColorMappingTable(gamma.inputBits, gamma.outputBits,
                                                       params[0], params[1], params[2], 0, nullptr);
    }
  }

  VantorScanParameters p{};
  p.left = ToDeviceUnits(s.left, s.resolution);
  p.top = ToDeviceUnits(s.top, s.resolution);
  p.width = ToDeviceUnits(s.width, s.resolution);
  p.height = ToDeviceUnits(s.height, s.resolution);
  p.resolution = static_cast<uint16_t>(s.descreenByResolution ? s.descreenResolution : s.resolution);
  p.mode = static_cast<uint16_t>(s.mode.deviceMode);
  p.reserved128 = 128;
  p.toneTable = s.deviceTable ? reinterpret_cast<uintptr_t>(s.deviceTable->Entries) : 0;
  v.SetParameters(&p);
  if (p.status != VANTOR_OK) return StepResult::kSetupFailed;

  VantorGeometry g{};
  v.GetParameters(&g);
  if (g.status != VANTOR_OK) return StepResult::kSetupFailed;
  const int pixelBytes = DeviceBytesPerPixel(s.mode.deviceMode);
  // Geometry that does not fit the mode would make every later size wrong.
  if (pixelBytes == 0 || g.bytesPerLine == 0 || g.bytesPerLine % pixelBytes != 0 || g.lines == 0)
    return StepResult::kSetupFailed;
  // Lines are asked for in a 16-bit field: a longer page could only be read
  // cut short, and a resolution of 0 cannot be zoomed from.
  if (g.lines > 0xFFFF || g.xDpi == 0 || g.yDpi == 0) return StepResult::kSetupFailed;
  s.deviceGeometry = g;
  s.pixelsPerLine = static_cast<int>(std::min<uint64_t>(g.bytesPerLine / pixelBytes, INT_MAX));
  s.linesWanted = static_cast<uint16_t>(g.lines);
  return StepResult::kOk;
}

StepResult AllocatePage() {
  ScanState& s = State();
  std::free(s.pageBuffer);
  s.pageBuffer = nullptr;
  if (s.geometryBuffer && s.geometry.FreeBuffer) s.geometry.FreeBuffer(&s.geometryBuffer);
  s.geometryBuffer = nullptr;
  s.current = nullptr;
  s.pageReady = false;

  const uint64_t bytes = uint64_t{s.deviceGeometry.lines} * s.deviceGeometry.bytesPerLine;
  if (bytes == 0 || bytes > kMaxPageBytes) return StepResult::kNoMemory;
  s.pageBuffer = static_cast<unsigned char*>(std::malloc(bytes));
  return s.pageBuffer ? StepResult::kOk : StepResult::kNoMemory;
}

StepResult StartDevice(bool withProgress) {
  ScanState& s = State();
  if (!s.vantor.StartScanEx) return StepResult::kSetupFailed;
  VantorStartBlock b{};
  b.progress = withProgress ? reinterpret_cast<uintptr_t>(&ScanProgress) : 0;
  s.stopSent = false;
  s.vantor.StartScanEx(&b, 1);
  return (b.status == VANTOR_OK || b.status == VANTOR_STARTED) ? StepResult::kOk
                                                               : StepResult::kSetupFailed;
}

StepResult ReadPage() {
  ScanState& s = State();
  VantorReadBlock r{};
  r.status = 2;  // what a missing ReadScannedData reports
  r.channelOrder = ScanState::kChannelOrder;
  r.linesWanted = s.linesWanted;
  r.buffer = reinterpret_cast<uintptr_t>(s.pageBuffer);
  if (s.vantor.ReadScannedData) s.vantor.ReadScannedData(&r);
  if (!s.stopSent && s.vantor.StopScan) {
    VantorStatusBlock stop{};
    s.vantor.StopScan(&stop);
  }
  s.stopSent = true;
  FreeTable(s.deviceTable);

  if (r.status == VANTOR_STOPPED) {
    s.cancel = 1;
    return StepResult::kReadFailed;
  }
  // An empty page is not a page: report it like any other failed read. The
  // count is checked against what was asked for, not against the block the
  // device may have rewritten: the buffer holds no more.
  if ((r.status != VANTOR_OK && r.status != VANTOR_SHORT_PAGE) || r.linesDelivered > s.linesWanted ||
      r.linesDelivered == 0)
    return StepResult::kReadFailed;
  s.current = s.pageBuffer;
  s.pageWidth = s.pixelsPerLine;
  s.pageHeight = r.linesDelivered;
  s.bytesPerRow = s.deviceGeometry.bytesPerLine;
  s.sourceRowBytes = s.deviceGeometry.bytesPerLine;
  return StepResult::kOk;
}

void ReleasePage() {
  ScanState& s = State();
  std::free(s.pageBuffer);
  s.pageBuffer = nullptr;
  if (s.geometryBuffer && s.geometry.FreeBuffer) s.geometry.FreeBuffer(&s.geometryBuffer);
  s.geometryBuffer = nullptr;
  FreeTable(s.deviceTable);
  FreeTable(s.enhanceTable);
  s.current = nullptr;
  s.pageReady = false;
  s.rowsHandedOut = 0;
}

void EndPage() {
  ScanState& s = State();
  if (!s.stopSent && s.vantor.StopScan) {
    VantorStatusBlock stop{};
    s.vantor.StopScan(&stop);
  }
  s.stopSent = true;
  ScanComplete();
  ReleasePage();
}

int Prescan(unsigned width, unsigned* height, unsigned char* rgb) {
  ScanState& s = State();
  if (width == 0 || !height || *height == 0 || !rgb) return 0;
  SetProgress(0, PX_STAGE_START);

  ModeFromPixelType(PX_PIXEL_COLOR24, s.mode);
  s.resolution = 75;
  s.left = 0;
  s.top = 0;
  s.width = static_cast<uint16_t>(2 * width);
  s.height = static_cast<uint16_t>(2 * *height);
  ClearProcessing();
  s.progress = 1;
  s.cancel = 0;

  int error = 0;
  if (SetUpDevice() != StepResult::kOk) error = kErrSetup;
  else if (AllocatePage() != StepResult::kOk) error = kErrMemory;
  else if (StartDevice(true) != StepResult::kOk) error = kErrSetup;
  else if (ReadPage() != StepResult::kOk) error = s.cancel ? -1 : kErrRead;
  if (error != 0) {
    EndPage();
    if (error > 0) ReportError(error);
    return 0;
  }

  // Every other pixel of every other line. The caller's buffer holds W x H
  // pixels, so neither the row count nor the row length may grow past it.
  const unsigned rows = std::min<unsigned>(*height, static_cast<unsigned>(s.pageHeight) / 2);
  *height = rows;
  const unsigned sourcePixels = static_cast<unsigned>(s.pixelsPerLine);
  const unsigned copied = std::min<unsigned>(width, (sourcePixels + 1) / 2);
  for (unsigned r = 0; r < rows; ++r) {
    const unsigned char* src = s.current + uint64_t{2} * r * s.sourceRowBytes;
    unsigned char* dst = rgb + uint64_t{r} * width * 3;
    for (unsigned c = 0; c < copied; ++c) std::memcpy(dst + 3 * c, src + 6 * uint64_t{c}, 3);
    if (copied < width) std::memset(dst + 3 * copied, 0, uint64_t{width - copied} * 3);
    if (SetProgress(static_cast<int>(uint64_t{r} * 100 / rows), PX_STAGE_HANDOUT) == 0) {
      EndPage();
      return 0;
    }
  }
  EndPage();
  return 1;
}

}  // namespace quorra
