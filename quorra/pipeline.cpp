// The fixed processing sequence run on every scanned page before hand-out.
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "quorra/scan_state.h"

namespace quorra {

int GeometryType(int deviceMode) {
  switch (deviceMode) {
    case PX_MODE_COLOR8: return PX_GEOM_COLOR24;
    case PX_MODE_GRAY8: return PX_GEOM_GRAY8;
    case PX_MODE_COLOR16: return PX_GEOM_COLOR48;
    case PX_MODE_GRAY16: return PX_GEOM_GRAY16;
    default: return -1;
  }
}

namespace {

int GeometryProgressTo(int done, int total, int scale, int base, int stage) {
  if (!State().progress) return 0;
  // A library that reports a total of 0 must not bring the module down.
  const int64_t part = total != 0 ? int64_t{done} * scale / total : 0;
  return SetProgress(static_cast<int>(part + base), stage);
}

int DeskewProgress(int done, int total) {
  return GeometryProgressTo(done, total, 100, 0, PX_STAGE_DESKEW);
}
int CropProgress(int done, int total) {
  return GeometryProgressTo(done, total, 100, 0, PX_STAGE_CROP);
}
int DescreenZoomProgress(int done, int total) {
  return GeometryProgressTo(done, total, 30, 40, PX_STAGE_PROCESSING);
}
int FinalZoomProgress(int done, int total) {
  return GeometryProgressTo(done, total, 30, 70, PX_STAGE_PROCESSING);
}

void Mark(int percent) {
  if (State().progress) SetProgress(percent, PX_STAGE_PROCESSING);
}

/// Makes a GeometryTrans result the current image; true when the image
/// changed. A result whose size makes no sense is given back and the image
/// stays as it was.
bool TakeGeometryResult(unsigned char* result, int oldWidth, int oldHeight) {
  ScanState& s = State();
  if (!result) {
    s.pageWidth = oldWidth;
    s.pageHeight = oldHeight;
    return false;
  }
  const uint64_t pixelBytes = static_cast<uint64_t>(DeviceBytesPerPixel(s.mode.deviceMode));
  if (result == s.current) {
    // Worked in place: the buffer stays whoever's it was, and the image in
    // it cannot have grown.
    if (s.pageWidth <= 0 || s.pageHeight <= 0 ||
        uint64_t(s.pageWidth) * uint64_t(s.pageHeight) > uint64_t(oldWidth) * uint64_t(oldHeight)) {
      s.pageWidth = oldWidth;
      s.pageHeight = oldHeight;
      return false;
    }
    return true;
  }
  if (s.pageWidth <= 0 || s.pageHeight <= 0 ||
      uint64_t(s.pageWidth) * pixelBytes * uint64_t(s.pageHeight) > kMaxPageBytes) {
    s.geometry.FreeBuffer(&result);
    s.pageWidth = oldWidth;
    s.pageHeight = oldHeight;
    return false;
  }
  std::free(s.pageBuffer);
  s.pageBuffer = nullptr;
  if (s.geometryBuffer) s.geometry.FreeBuffer(&s.geometryBuffer);
  s.geometryBuffer = result;
  s.current = result;
  return true;
}

}  // namespace

bool ProcessPage() {
  ScanState& s = State();
  const int type = GeometryType(s.mode.deviceMode);
  if (type < 0 || !s.current) return false;
  const GeometryTransApi& geo = s.geometry;
  const TembraApi& tembra = s.tembra;
  // Only reachable without the libraries if OpenDS failed half-way.
  if (!tembra.FreeEnhanceTable || !s.filter.FilterProcess || !geo.ImageZoom) return false;
  int xDpi = s.deviceGeometry.xDpi;
  int yDpi = s.deviceGeometry.yDpi;

  // 1. Geometry: deskew wins over crop.
  if (s.deskew || s.crop) {
    const int w = s.pageWidth, h = s.pageHeight;
    unsigned char* result =
        s.deskew ? geo.ImageDeskew(type, s.current, &s.pageWidth, &s.pageHeight, DeskewProgress)
                 : geo.ImageCrop(type, s.current, &s.pageWidth, &s.pageHeight, CropProgress);
    TakeGeometryResult(result, w, h);
  }
  Mark(0);

  // 3. Colour matching, when the optional library is there.
  if (s.colorMatchModule.IsLoaded()) {
    if (s.mode.pixelType == PX_PIXEL_COLOR24)
      s.colorMatch.ColorMatchFun(s.current, s.pageHeight, s.pageWidth, ScanState::kChannelOrder);
    else if (s.mode.pixelType == PX_PIXEL_COLOR48)
      s.colorMatch.ColorMatchFun30_36(s.current, s.pageHeight, s.pageWidth,
                                      ScanState::kChannelOrder);
  }

  // 4. Automatic levels work on 8-bit gray and colour only.
  if (s.autoLevel) {
    if (s.mode.pixelType == PX_PIXEL_GRAY8)
      tembra.AutoLevelGray(s.current, s.pageWidth, s.pageHeight);
    else if (s.mode.pixelType == PX_PIXEL_COLOR24)
      tembra.AutoLevelColor(s.current, s.pageWidth, s.pageHeight, ScanState::kChannelOrder);
  }
  Mark(10);

  // 6. The user's tone table; black and white is still 8-bit gray here.
  if (s.enhanceTable) {
    switch (s.mode.deviceMode) {
      case PX_MODE_GRAY8:
        tembra.MapGrayEnhanceTable(s.current, 8, s.pageWidth, s.pageHeight, s.enhanceTable);
        break;
      case PX_MODE_GRAY16:
        tembra.MapGrayEnhanceTable(s.current, 16, s.pageWidth, s.pageHeight, s.enhanceTable);
        break;
      case PX_MODE_COLOR8:
        tembra.MapColorEnhanceTable(s.current, 8, s.pageWidth, s.pageHeight,
                                    ScanState::kChannelOrder, s.enhanceTable);
        break;
      case PX_MODE_COLOR16:
        tembra.MapColorEnhanceTable(s.current, 16, s.pageWidth, s.pageHeight,
                                    ScanState::kChannelOrder, s.enhanceTable);
        break;
    }
    tembra.FreeEnhanceTable(s.enhanceTable);
    s.enhanceTable = nullptr;
  }
  Mark(20);

  if (s.mode.pixelType == PX_PIXEL_COLOR24 && (s.hue != 0 || s.saturation != 0))
    tembra.HueSaturationAdjustment(s.current, s.pageWidth, s.pageHeight, ScanState::kChannelOrder,
                                   s.hue, s.saturation);
  Mark(30);

  // 10. Filters and descreen exist for 8-bit data only.
  const int mode = s.mode.deviceMode;
  if (mode == PX_MODE_GRAY8 || mode == PX_MODE_COLOR8) {
    auto rowBytes = [&] { return mode == PX_MODE_GRAY8 ? s.pageWidth : 3 * s.pageWidth; };
    int rowLength = rowBytes();
    if (s.filterNumber != 0)
      s.filter.FilterProcess(s.filterNumber, s.current, mode, s.pageHeight, rowLength);
    Mark(40);
    if (s.descreenFilter) s.filter.FilterProcess(20, s.current, mode, s.pageHeight, rowLength);
    if (s.descreenByResolution) {
      const int d = s.descreenResolution;
      if (xDpi != d || yDpi != d) {
        const int w = s.pageWidth, h = s.pageHeight;
        unsigned char* result = geo.ImageZoom(xDpi, yDpi, d, d, type, s.current, &s.pageWidth,
                                              &s.pageHeight, DescreenZoomProgress);
        if (TakeGeometryResult(result, w, h)) {
          xDpi = d;
          yDpi = d;
          rowLength = rowBytes();
        }
      }
      s.filter.FilterProcess(19, s.current, mode, s.pageHeight, rowLength);
    }
  }
  Mark(70);

  const int r = s.resolution;
  if (xDpi != r || yDpi != r) {
    const int w = s.pageWidth, h = s.pageHeight;
    unsigned char* result = geo.ImageZoom(xDpi, yDpi, r, r, type, s.current, &s.pageWidth,
                                          &s.pageHeight, FinalZoomProgress);
    TakeGeometryResult(result, w, h);
  }

  const uint64_t width = static_cast<uint64_t>(s.pageWidth);
  s.bytesPerRow = (uint64_t(s.mode.bitsPerPixel) * width + 7) / 8;
  s.sourceRowBytes = width * static_cast<uint64_t>(DeviceBytesPerPixel(mode));
  Mark(100);
  s.pageMode = s.mode;
  s.pageResolution = s.resolution;
  s.rowsHandedOut = 0;
  s.pageReady = true;
  return true;
}

}  // namespace quorra
