// The scanner device library as one scan session binds it: twelve entry
// points by name (everything of Vantor but RollPaper), the open state and the
// stopped flag that keeps StopScan to one call per scan.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/records.h"
#include "interfaces/vantor_api.h"
#include "platform/module.h"

namespace pellix {

#define PELLIX_DEVICE_EXPORTS(X)                                                           \
  X(_Open) X(_Close) X(GetGammaInfo) X(SetParameters) X(GetParameters) X(StartScanEx)      \
  X(ReadScannedData) X(StopScan) X(IsCalibrationNeeded) X(IsPaperOn) X(CalibrateScanner) \
  X(IsButtonOn)
PX_DECLARE_API(DeviceEntryPoints, PELLIX_DEVICE_EXPORTS)
static_assert(kDeviceEntryPointsCount == 12);

class CDeviceBinding {
 public:
  /// Delay between two _Open calls, and how many calls are made at most.
  static constexpr int kOpenRetryMs = 200;
  static constexpr int kOpenCalls = 5;

  CDeviceBinding() = default;
  ~CDeviceBinding() { Unload(); }
  CDeviceBinding(const CDeviceBinding&) = delete;
  CDeviceBinding& operator=(const CDeviceBinding&) = delete;

  /// Loads the library and binds all twelve names; false (nothing loaded)
  /// when the file does not load or one name is missing.
  bool Load(const std::string& path);
  bool IsBound() const { return module_.IsLoaded(); }
  /// _Close when open, then unloads.
  void Unload();

  /// _Open, retried after 200 ms while it answers 0, five calls in all.
  /// Returns the open state (0 = not open).
  int Open();
  bool IsOpen() const { return openState_ != 0; }
  void Close();

  /// 0 when not bound, as for a missing function.
  int IsCalibrationNeeded();
  int IsPaperOn();
  /// Device table depths for a mode; false (both 0) when the device fails.
  bool GetGammaInfo(uint16_t mode, int& inputBits, int& outputBits);
  /// Status of each block call; 2 when not bound.
  uint16_t SetParameters(VantorScanParameters& block);
  uint16_t GetParameters(VantorGeometry& block);
  uint16_t StartScanEx(VantorLineProgress progress);
  uint16_t ReadScannedData(VantorReadBlock& block);
  /// Only when a scan was started and not stopped since.
  void StopScan();
  /// The device's 16-bit result (0 = done); 1 when not bound.
  uint16_t CalibrateScanner(int mode, VantorStepProgress progress);

  bool Stopped() const { return stopped_; }

 private:
  px::Module module_;
  DeviceEntryPoints api_;
  int openState_ = 0;
  bool stopped_ = true;
};

/// Bytes per pixel of one line of a device data type.
class PixelFormat {
 public:
  /// Data type = Vantor mode: 1 gray 8, 2 color 8, 9 gray 16, 10 color 16.
  /// Unknown modes give bytes per pixel 0 (IsValid false).
  explicit PixelFormat(int dataType);
  bool IsValid() const { return bytesPerPixel_ != 0; }
  int BytesPerPixel() const { return bytesPerPixel_; }
  int64_t PixelsToBytes(int64_t pixels) const { return pixels * bytesPerPixel_; }
  int64_t BytesToPixels(int64_t bytes) const { return bytesPerPixel_ ? bytes / bytesPerPixel_ : 0; }

 private:
  int bytesPerPixel_ = 0;
};

}  // namespace pellix
