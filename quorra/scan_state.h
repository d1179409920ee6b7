// The scan module's one state object and the steps that work on it. Every
// export and every callback runs on the host's thread, so plain globals are
// enough: nothing here locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "interfaces/colormatch_api.h"
#include "interfaces/filter_api.h"
#include "interfaces/geometrytrans_api.h"
#include "interfaces/korvel_api.h"
#include "interfaces/quorra_api.h"
#include "interfaces/records.h"
#include "interfaces/tembra_api.h"
#include "interfaces/vantor_api.h"
#include "platform/module.h"

namespace quorra {

/// Error codes shown through UI_ErrMsg.
enum ErrorCode { kErrOpen = 1, kErrSetup = 2, kErrMemory = 3, kErrRead = 4 };

/// A page larger than this is refused as "no memory": every size handed to the
/// libraries is a 32-bit int, and no real sheet comes near it.
inline constexpr uint64_t kMaxPageBytes = 0x7FFFFFFFull;

struct ModeFields {
  int pixelType = PX_PIXEL_COLOR24;
  int deviceMode = PX_MODE_COLOR8;
  int bitsPerPixel = 24;
  int samples = 3;
  int blackAndWhite = 0;
};

/// Mode fields for a pixel type; false (fields untouched) above 4.
bool ModeFromPixelType(uint32_t pixelType, ModeFields& mode);

/// Bytes of one pixel as the device delivers it in `deviceMode`; 0 if unknown.
int DeviceBytesPerPixel(int deviceMode);

/// The GeometryTrans type code for a device mode; -1 if unknown.
int GeometryType(int deviceMode);

struct ScanState {
  // paths
  std::string folder;
  std::string iniPath;

  // bindings
  px::Module korvelModule;
  KorvelApi korvel;
  bool shown = false;
  px::Module vantorModule;
  VantorApi vantor;
  bool deviceOpen = false;
  px::Module tembraModule;
  TembraApi tembra;
  px::Module filterModule;
  FilterApi filter;
  px::Module geometryModule;
  GeometryTransApi geometry;
  px::Module colorMatchModule;
  ColorMatchApi colorMatch;

  // host
  HostCallback imageReady = nullptr;
  HostCallback hostEvent = nullptr;
  int reportErrors = 1;

  int progress = 1;
  int reduceDepth = 0;
  static constexpr int kChannelOrder = 0;  // R, G, B everywhere

  ModeFields mode;
  int resolution = 300;
  uint16_t left = 0, top = 0, width = 0, height = 0;

  // processing
  int deskew = 0, crop = 0, autoLevel = 0;
  MappingTable* enhanceTable = nullptr;
  int hue = 0, saturation = 0;
  int filterNumber = 0;
  int descreenFilter = 0;
  int descreenByResolution = 0;
  int descreenResolution = 0;

  // page
  MappingTable* deviceTable = nullptr;
  VantorGeometry deviceGeometry{};
  int pixelsPerLine = 0;
  uint16_t linesWanted = 0;
  unsigned char* pageBuffer = nullptr;
  unsigned char* geometryBuffer = nullptr;
  unsigned char* current = nullptr;
  int pageWidth = 0, pageHeight = 0;
  uint64_t bytesPerRow = 0;      // as handed out (packed bits for black and white)
  uint64_t sourceRowBytes = 0;   // as held in memory
  // What the processed page is, kept with it: settings may change before the
  // host asks for it, and the hand-out must read the rows as they were made.
  ModeFields pageMode;
  int pageResolution = 300;
  uint32_t rowsHandedOut = 0;
  int cancel = 0;
  bool stopSent = true;  // StartScanEx clears it; StopScan sets it
  bool pageReady = false;
};

ScanState& State();

// ui_bridge.cpp
const UiCallbacks* Callbacks();
/// UI_SetProgress, or 1 when Korvel is not bound.
int SetProgress(int percent, int stage);
/// UI_ErrMsg's result while errors are reported, 0 otherwise; 2 when unbound.
int ReportError(int code);
void ScanComplete();

// config.cpp
/// Splits a key's text at spaces into decimal integers; at most `count` are
/// stored. Returns how many were read; an empty or missing key reads none.
int ReadNumberList(const std::string& iniPath, const char* key, int* values, int count);
/// The four device-table tone records (red, green, blue, gray) from
/// "Default Setting"; the gray record takes the fifth brightness value for
/// black and white.
void ReadDeviceEnhance(const std::string& iniPath, bool blackAndWhite, EnhanceParam params[4]);
struct BackgroundInfo {
  int red = 30, green = 30, blue = 30, value1 = 55, value2 = 30;
};
BackgroundInfo ReadBackgroundInfo(const std::string& iniPath);
std::string ReadProductName(const std::string& iniPath);

// libraries.cpp
bool LoadLibraries();
void UnloadImageLibraries();
void UnloadVantor();
void UnloadKorvel();
bool OpenDevice();

// acquisition.cpp
/// Copies Korvel's settings into the state and builds the enhancement table.
void ApplyScanSetting(const ScanSetting& setting);
/// Turns off all processing and frees a pending enhancement table.
void ClearProcessing();
enum class StepResult { kOk, kSetupFailed, kNoMemory, kReadFailed };
StepResult SetUpDevice();
StepResult AllocatePage();
StepResult StartDevice(bool withProgress);
StepResult ReadPage();
/// Frees every buffer and table of the page (no calls to Korvel).
void ReleasePage();
/// The clean-up that ends every page.
void EndPage();
int Prescan(unsigned width, unsigned* height, unsigned char* rgb);

// pipeline.cpp
bool ProcessPage();

// handout.cpp
uint16_t FillImageInfo(ImageInfo* info);
uint16_t BuildDib(void** handle);
uint16_t HandOutBlock(void* destination, uint32_t size, MemBlockInfo* block);

/// Runs `body`, turning any escaping exception into `failure`.
template <class R, class F>
R Guarded(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace quorra
