#include "pellix/scan_session.h"

#include <climits>
#include <new>

#include "pellix/progress.h"

namespace pellix {

bool CScanSession::Open(const std::string& devicePath, const std::string& enhancePath,
                        const std::string& geometryPath, const std::string& colorMatchPath,
                        const std::string& colorMatchData) {
  if (!binding_.Load(devicePath)) return false;
  if (binding_.Open() == 0) return false;
  adjust_.Load(enhancePath, geometryPath, colorMatchPath, colorMatchData);
  return true;
}

int CScanSession::Start(int requestCode, int resolution, int height, int width,
                        const std::string& settingsFile, bool autoCrop) {
  if (resolution < 100 || resolution > 600) return kStartBadResolution;
  resolution_ = static_cast<uint16_t>(resolution);
  width_ = width;
  height_ = height;
  left_ = top_ = 0;

  switch (requestCode) {
    case kRequestColor: dataType_ = PX_MODE_COLOR8; lineart_ = false; break;
    case kRequestGray: dataType_ = PX_MODE_GRAY8; lineart_ = false; break;
    case kRequestLineart: dataType_ = PX_MODE_GRAY8; lineart_ = true; break;
    case kRequestGray16: dataType_ = PX_MODE_GRAY16; lineart_ = false; break;
    case kRequestColor48: dataType_ = PX_MODE_COLOR16; lineart_ = false; break;
    default: return kStartUnknownRequest;
  }
  pixelFormat_.reset(new (std::nothrow) PixelFormat(dataType_));
  if (!pixelFormat_) return kStartNoMemory;

  // A table left from an earlier start on this session is not needed any more.
  ReleaseToneTable();
  toneTable_ = adjust_.MakeToneTable(binding_, dataType_, lineart_, settingsFile);

  VantorScanParameters params{};
  params.left = static_cast<uint16_t>(left_);
  params.top = static_cast<uint16_t>(top_);
  params.width = static_cast<uint16_t>(width_);
  params.height = static_cast<uint16_t>(height_);
  params.resolution = resolution_;
  params.mode = static_cast<uint16_t>(dataType_);
  params.reserved128 = 128;
  params.toneTable = reinterpret_cast<uintptr_t>(toneTable_ ? toneTable_->Entries : nullptr);
  if (binding_.SetParameters(params) != VANTOR_OK) return kStartRefused;

  VantorGeometry geometry{};
  if (binding_.GetParameters(geometry) != VANTOR_OK) return kStartRefused;
  deviceBytesPerLine_ = geometry.bytesPerLine;
  deviceLines_ = geometry.lines;
  deviceXDpi_ = geometry.xDpi;
  deviceYDpi_ = geometry.yDpi;
  pixelsPerLine_ = pixelFormat_->BytesToPixels(deviceBytesPerLine_);

  autoCrop_ = autoCrop;
  stoppedByUser_ = false;
  started_ = true;
  return kStartOk;
}

const uint8_t* CScanSession::Read() {
  ReleaseBuffers();
  if (!started_ || !pixelFormat_) return nullptr;
  ProgressScope::SetTotal(static_cast<int>(deviceLines_ > INT_MAX ? INT_MAX : deviceLines_));

  // The device's geometry is outside data: a page it cannot describe in one
  // read block, or one too large to hold, is refused before allocating.
  const uint64_t bytes = uint64_t{deviceBytesPerLine_} * deviceLines_;
  if (bytes == 0 || bytes > kMaxPageBytes || deviceLines_ > UINT16_MAX || pixelsPerLine_ <= 0 ||
      pixelsPerLine_ > INT_MAX) {
    ReleaseToneTable();
    return nullptr;
  }
  raw_.reset(new (std::nothrow) uint8_t[bytes]);
  if (!raw_) {
    ReleaseToneTable();
    return nullptr;
  }

  binding_.StartScanEx(&ProgressCallback);
  VantorReadBlock block{};
  block.channelOrder = VANTOR_ORDER_BGR;
  block.linesWanted = static_cast<uint16_t>(deviceLines_);
  block.buffer = reinterpret_cast<uintptr_t>(raw_.get());
  const uint16_t status = binding_.ReadScannedData(block);
  binding_.StopScan();
  ReleaseToneTable();

  if (status == VANTOR_STOPPED) {
    stoppedByUser_ = true;
    return nullptr;
  }
  if ((status != VANTOR_OK && status != VANTOR_SHORT_PAGE) ||
      block.linesDelivered > deviceLines_ || block.linesDelivered == 0)
    return nullptr;

  int width = static_cast<int>(pixelsPerLine_);
  int height = block.linesDelivered;
  const uint8_t* page = adjust_.PostProcess(raw_, processed_, width, height, dataType_, lineart_,
                                            resolution_, deviceXDpi_, deviceYDpi_, autoCrop_);
  if (!page || width <= 0 || height <= 0) {
    ReleaseBuffers();
    return nullptr;
  }
  resultWidth_ = width;
  resultLines_ = height;
  resultBytesPerLine_ = pixelFormat_->PixelsToBytes(width);
  return page;
}

void CScanSession::ReleaseBuffers() {
  raw_.reset();
  adjust_.FreeBuffer(processed_);
}

int CScanSession::Calibrate(int mode) {
  return binding_.CalibrateScanner(mode, &CalibrationProgress) == 0 ? 1 : 0;
}

void CScanSession::ReleaseToneTable() {
  adjust_.FreeToneTable(toneTable_);
  toneTable_ = nullptr;
}

void CScanSession::Close() {
  raw_.reset();
  ReleaseToneTable();
  pixelFormat_.reset();
  binding_.Close();
  binding_.Unload();
  adjust_.FreeBuffer(processed_);
  adjust_.Unload();
  started_ = false;
}

}  // namespace pellix
