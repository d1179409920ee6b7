#include "korvel/progress_model.h"

#include <algorithm>

#include "interfaces/records.h"

namespace korvel {

ProgressModel::Change ProgressModel::Update(int percent, int stage) {
  Change change;
  if (stage != lastStage_) {
    struct StageText {
      int textId;
      bool cancel;
    };
    static constexpr StageText kStages[] = {
        {2083, false}, {2086, false}, {2084, true}, {2088, false},
        {2089, false}, {2085, false}, {2090, true},
    };
    if (stage >= 0 && stage < 7) {
      statusTextId_ = kStages[stage].textId;
      cancelEnabled_ = kStages[stage].cancel;
      change.stage = true;
    }
    lastStage_ = stage;
  }
  if (percent != lastPercent_) {
    lastPercent_ = percent;
    change.percent = true;
  }
  return change;
}

ScanThumbnail::ScanThumbnail(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {
  pixels_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
  // The dialog colour 0xEBE5E1 (blue, green, red) until rows arrive.
  for (size_t i = 0; i < pixels_.size(); i += 3) {
    pixels_[i] = 0xE1;
    pixels_[i + 1] = 0xE5;
    pixels_[i + 2] = 0xEB;
  }
}

int ScanThumbnail::Step(int pixelsPerLine, int linesExpected, int width) {
  const int d = width > 0 ? pixelsPerLine / width : 0;
  const int s = linesExpected / 256;
  return std::max(s, d) + 1;
}

bool ScanThumbnail::Update(int pixelType, int pixelsPerLine, int linesExpected, int threshold,
                           const unsigned char* data, int linesSoFar) {
  threshold_ = static_cast<int16_t>(threshold);
  if (!data || pixelsPerLine <= 0 || linesExpected <= 0) return false;
  if (linesSoFar < 0) linesSoFar = 0;
  int bytesPerPixel = 0;
  switch (pixelType) {
    case PX_PIXEL_COLOR24: bytesPerPixel = 3; break;
    case PX_PIXEL_COLOR48: bytesPerPixel = 6; break;
    case PX_PIXEL_GRAY8:
    case PX_PIXEL_BW: bytesPerPixel = 1; break;
    case PX_PIXEL_GRAY16: bytesPerPixel = 2; break;
    default: return false;
  }
  const int e = Step(pixelsPerLine, linesExpected, width_);
  const int columns = std::min(pixelsPerLine / e, width_);
  // Never read beyond the lines announced as expected, nor draw below the bitmap.
  const int rowsAvailable = std::min({std::min(linesSoFar, linesExpected) / e, height_});
  const size_t lineBytes = static_cast<size_t>(pixelsPerLine) * static_cast<size_t>(bytesPerPixel);
  for (int i = rowsDrawn_; i < rowsAvailable; ++i) {
    const unsigned char* line = data + static_cast<size_t>(i) * static_cast<size_t>(e) * lineBytes;
    uint8_t* out = &pixels_[static_cast<size_t>(i) * static_cast<size_t>(width_) * 3];
    for (int j = 0; j < columns; ++j) {
      const unsigned char* p = line + static_cast<size_t>(j) * static_cast<size_t>(e) * bytesPerPixel;
      uint8_t r, g, b;
      switch (pixelType) {
        case PX_PIXEL_COLOR24: r = p[0]; g = p[1]; b = p[2]; break;
        case PX_PIXEL_COLOR48: r = p[1]; g = p[3]; b = p[5]; break;
        case PX_PIXEL_GRAY16: r = g = b = p[1]; break;
        case PX_PIXEL_BW:
          r = g = b = (p[0] > threshold_) ? 255 : (p[0] < threshold_ ? 0 : p[0]);
          break;
        default: r = g = b = p[0]; break;
      }
      out[j * 3] = r;
      out[j * 3 + 1] = g;
      out[j * 3 + 2] = b;
    }
  }
  // Fewer lines than before count as a change too: the rows from there on
  // are drawn again from the data given next.
  if (rowsAvailable != rowsDrawn_) {
    rowsDrawn_ = rowsAvailable;
    return true;
  }
  return false;
}

}  // namespace korvel
