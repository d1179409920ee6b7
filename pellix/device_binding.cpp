#include "pellix/device_binding.h"

#include <chrono>
#include <thread>

namespace pellix {

bool CDeviceBinding::Load(const std::string& path) {
  Unload();
  if (path.empty() || !module_.Load(path)) return false;
  return module_.BindAll(api_);
}

void CDeviceBinding::Unload() {
  Close();
  api_.Clear();
  module_.Unload();
  stopped_ = true;
}

int CDeviceBinding::Open() {
  if (!api_._Open) return 0;
  openState_ = api_._Open();
  for (int call = 1; openState_ == 0 && call < kOpenCalls; ++call) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryMs));
    openState_ = api_._Open();
  }
  return openState_;
}

void CDeviceBinding::Close() {
  if (openState_ != 0 && api_._Close) api_._Close();
  openState_ = 0;
}

int CDeviceBinding::IsCalibrationNeeded() {
  return api_.IsCalibrationNeeded ? api_.IsCalibrationNeeded() : 0;
}

int CDeviceBinding::IsPaperOn() { return api_.IsPaperOn ? api_.IsPaperOn() : 0; }

bool CDeviceBinding::GetGammaInfo(uint16_t mode, int& inputBits, int& outputBits) {
  inputBits = outputBits = 0;
  if (!api_.GetGammaInfo) return false;
  VantorGammaInfo block{};
  block.mode = mode;
  api_.GetGammaInfo(&block);
  if (block.status != VANTOR_OK) return false;
  inputBits = block.inputBits;
  outputBits = block.outputBits;
  return true;
}

uint16_t CDeviceBinding::SetParameters(VantorScanParameters& block) {
  if (!api_.SetParameters) return 2;
  api_.SetParameters(&block);
  return block.status;
}

uint16_t CDeviceBinding::GetParameters(VantorGeometry& block) {
  if (!api_.GetParameters) return 2;
  api_.GetParameters(&block);
  return block.status;
}

uint16_t CDeviceBinding::StartScanEx(VantorLineProgress progress) {
  if (!api_.StartScanEx) return 2;
  VantorStartBlock block{};
  block.progress = reinterpret_cast<uintptr_t>(progress);
  api_.StartScanEx(&block, 1);
  stopped_ = false;
  return block.status;
}

uint16_t CDeviceBinding::ReadScannedData(VantorReadBlock& block) {
  if (!api_.ReadScannedData) return 2;
  api_.ReadScannedData(&block);
  return block.status;
}

void CDeviceBinding::StopScan() {
  if (stopped_ || !api_.StopScan) return;
  VantorStatusBlock block{};
  api_.StopScan(&block);
  stopped_ = true;
}

uint16_t CDeviceBinding::CalibrateScanner(int mode, VantorStepProgress progress) {
  if (!api_.CalibrateScanner) return 1;
  return api_.CalibrateScanner(mode, progress);
}

PixelFormat::PixelFormat(int dataType) {
  switch (dataType) {
    case PX_MODE_GRAY8: bytesPerPixel_ = 1; break;
    case PX_MODE_COLOR8: bytesPerPixel_ = 3; break;
    case PX_MODE_GRAY16: bytesPerPixel_ = 2; break;
    case PX_MODE_COLOR16: bytesPerPixel_ = 6; break;
    default: bytesPerPixel_ = 0; break;
  }
}

}  // namespace pellix
