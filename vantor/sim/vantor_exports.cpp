// The thirteen exports of the device library. Each hands its block to the
// device and turns anything thrown into a status, so no exception leaves the
// library. A missing block cannot carry a status: the call does nothing.
#include <new>

#include "interfaces/export.h"
#include "interfaces/vantor_api.h"
#include "vantor/sim/device.h"

using vantor_sim::Device;

namespace {

template <class Block, class F>
void WithBlock(Block* block, F&& f) {
  if (!block) return;
  try {
    f(*block);
  } catch (const std::bad_alloc&) {
    block->status = vantor_sim::kNoMemory;
  } catch (...) {
    block->status = vantor_sim::kInternal;
  }
}

template <class R, class F>
R Guarded(R failure, F&& f) {
  try {
    return f();
  } catch (...) {
    return failure;
  }
}

}  // namespace

PX_EXPORT int _Open(void) {
  return Guarded(0, [] { return Device::Instance().Open(); });
}

PX_EXPORT void GetGammaInfo(VantorGammaInfo* block) {
  WithBlock(block, [](auto& b) { Device::Instance().GetGammaInfo(b); });
}

PX_EXPORT void SetParameters(VantorScanParameters* block) {
  WithBlock(block, [](auto& b) { Device::Instance().SetParameters(b); });
}

PX_EXPORT void GetParameters(VantorGeometry* block) {
  WithBlock(block, [](auto& b) { Device::Instance().GetParameters(b); });
}

PX_EXPORT void StartScanEx(VantorStartBlock* block, int /*flag: callers pass 1*/) {
  WithBlock(block, [](auto& b) { Device::Instance().StartScanEx(b); });
}

PX_EXPORT void ReadScannedData(VantorReadBlock* block) {
  WithBlock(block, [](auto& b) {
    b.linesDelivered = 0;
    Device::Instance().ReadScannedData(b);
  });
}

PX_EXPORT void StopScan(VantorStatusBlock* block) {
  WithBlock(block, [](auto& b) { Device::Instance().StopScan(b); });
}

PX_EXPORT int _Close(void) {
  return Guarded(0, [] { return Device::Instance().Close(); });
}

PX_EXPORT uint16_t CalibrateScanner(int mode, VantorStepProgress progress) {
  return Guarded<uint16_t>(vantor_sim::kInternal,
                           [&] { return Device::Instance().CalibrateScanner(mode, progress); });
}

PX_EXPORT int IsPaperOn(void) {
  return Guarded(0, [] { return Device::Instance().IsPaperOn(); });
}

PX_EXPORT int IsCalibrationNeeded(void) {
  return Guarded(0, [] { return Device::Instance().IsCalibrationNeeded(); });
}

PX_EXPORT int IsButtonOn(void) {
  return Guarded(0, [] { return Device::Instance().IsButtonOn(); });
}

PX_EXPORT int RollPaper(void) {
  return Guarded(0, [] { return Device::Instance().RollPaper(); });
}
