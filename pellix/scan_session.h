// One scan command's use of the scanner: load and open the device library
// and the imaging libraries, check calibration and paper, set the scan up
// with the device tone table, read the page in one call, post-process it,
// and close and unload everything again on destruction.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "interfaces/records.h"
#include "pellix/device_binding.h"
#include "pellix/image_adjustment.h"

namespace pellix {

/// Request codes of Start.
enum : int {
  kRequestColor = 16,
  kRequestGray = 2,
  kRequestLineart = 1,
  kRequestGray16 = 8,
  kRequestColor48 = 32,
};

/// Results of Start.
enum : int {
  kStartOk = 0,
  kStartBadResolution = 2,
  kStartUnknownRequest = 4,
  kStartRefused = 5,
  kStartNoMemory = 6,
};

class CScanSession {
 public:
  /// Largest raw page accepted from the device, checked before allocating.
  static constexpr uint64_t kMaxPageBytes = uint64_t{2} << 30;

  CScanSession() = default;
  ~CScanSession() { Close(); }
  CScanSession(const CScanSession&) = delete;
  CScanSession& operator=(const CScanSession&) = delete;

  /// Loads and opens the device, then the optional imaging libraries.
  /// True when the device is open and ready.
  bool Open(const std::string& devicePath, const std::string& enhancePath,
            const std::string& geometryPath, const std::string& colorMatchPath,
            const std::string& colorMatchData);
  int IsCalibrationNeeded() { return binding_.IsCalibrationNeeded(); }
  int IsPaperOn() { return binding_.IsPaperOn(); }

  /// 0 started; 2 resolution outside 100..600; 4 unknown request code;
  /// 5 the device refused the parameters; 6 out of memory.
  int Start(int requestCode, int resolution, int height, int width,
            const std::string& settingsFile, bool autoCrop);
  /// Reads and post-processes the page. The result (top line first, channel
  /// order B, G, R) belongs to the session until ReleaseBuffers or Close;
  /// null on failure or when the user stopped it (StoppedByUser).
  const uint8_t* Read();
  void ReleaseBuffers();
  /// 1 when the device reports the pass done.
  int Calibrate(int mode);
  /// Idempotent; the destructor calls it.
  void Close();

  bool StoppedByUser() const { return stoppedByUser_; }
  int DataType() const { return dataType_; }
  bool Lineart() const { return lineart_; }
  int ResultWidth() const { return resultWidth_; }
  int ResultLines() const { return resultLines_; }
  int64_t ResultBytesPerLine() const { return resultBytesPerLine_; }
  uint32_t DeviceBytesPerLine() const { return deviceBytesPerLine_; }
  uint32_t DeviceLines() const { return deviceLines_; }
  int DeviceXDpi() const { return deviceXDpi_; }
  int DeviceYDpi() const { return deviceYDpi_; }
  /// For tests: the session's device and imaging libraries.
  CDeviceBinding& Device() { return binding_; }
  ImageAdjustment& Adjustment() { return adjust_; }

 private:
  void ReleaseToneTable();

  CDeviceBinding binding_;
  ImageAdjustment adjust_;
  std::unique_ptr<PixelFormat> pixelFormat_;
  int dataType_ = 0;
  bool lineart_ = false;
  uint16_t resolution_ = 0;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  MappingTable* toneTable_ = nullptr;
  uint32_t deviceBytesPerLine_ = 0, deviceLines_ = 0;
  int deviceXDpi_ = 0, deviceYDpi_ = 0;
  int64_t pixelsPerLine_ = 0;
  std::unique_ptr<uint8_t[]> raw_;
  uint8_t* processed_ = nullptr;
  int resultWidth_ = 0, resultLines_ = 0;
  int64_t resultBytesPerLine_ = 0;
  bool stoppedByUser_ = false;
  bool autoCrop_ = false;
  bool started_ = false;
};

}  // namespace pellix
