#include "plugins/geometrytrans/page_ops.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "plugins/geometrytrans/page_image.h"

namespace geometry {

namespace {

constexpr int kProgressTotal = 100;
// The warp runs in bands of rows so progress can be shown.
constexpr int kWarpBands = 8;

void Report(GeometryProgress progress, int done) {
  if (progress) progress(done, kProgressTotal);
}

// Reports completion on every way out, once the work has started.
class ProgressScope {
 public:
  explicit ProgressScope(GeometryProgress progress) : progress_(progress) { Report(progress_, 0); }
  ~ProgressScope() { Report(progress_, kProgressTotal); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  GeometryProgress progress_;
};

// The pixels whose centres lie in the frame's axis-aligned bounding box,
// clipped to the page. With `withProtrusions`, paper clearly sticking out of
// the sheet's rectangle is kept as well.
cv::Rect BoundingBox(const SheetFrame& frame, cv::Size page, bool withProtrusions) {
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (const auto& p : frame.Corners()) {
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  if (withProtrusions) {
    // Only well beyond the detection copy's own uncertainty, so a plain
    // sheet keeps its measured edges.
    const double slack = 2.0 * frame.detectionCell;
    const cv::Rect2d& paper = frame.paperBounds;
    if (paper.x < minX - slack) minX = paper.x;
    if (paper.y < minY - slack) minY = paper.y;
    if (paper.br().x > maxX + slack) maxX = paper.br().x;
    if (paper.br().y > maxY + slack) maxY = paper.br().y;
  }
  // Pixel i covers i - 0.5 .. i + 0.5: an edge at k - 0.5 starts at pixel k.
  auto clampX = [&](double v) { return static_cast<int>(std::clamp(std::round(v + 0.5), 0.0, double(page.width))); };
  auto clampY = [&](double v) { return static_cast<int>(std::clamp(std::round(v + 0.5), 0.0, double(page.height))); };
  const int x0 = clampX(minX), x1 = clampX(maxX), y0 = clampY(minY), y1 = clampY(maxY);
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

unsigned char* CopyRegion(const cv::Mat& page, cv::Rect region, int* width, int* height) {
  if (region.empty() || region == cv::Rect(0, 0, page.cols, page.rows)) return nullptr;
  ResultBuffer out;
  if (!out.Allocate(page.type(), region.width, region.height)) return nullptr;
  page(region).copyTo(out.Mat());
  unsigned char* result = out.Release();
  if (result) {
    *width = region.width;
    *height = region.height;
  }
  return result;
}

// Whole shrink factors per axis (1: unchanged), or 0 where the scale is no
// whole ratio.
struct WholeFactors {
  int x = 0;
  int y = 0;
};

int WholeFactor(std::int64_t from, std::int64_t to) {
  return to > 0 && from >= to && from % to == 0 ? static_cast<int>(from / to) : 0;
}

// Area averaging by whole factors: OpenCV's fast path covers only a source
// that is a whole number of cells, so the partial cells at the right and
// bottom (an odd page width at 600 -> 300 dpi) are averaged on their own.
// Without this, one leftover column sends the whole page through the general
// path at several times the cost.
bool ShrinkByWholeFactors(const cv::Mat& source, cv::Mat& target, WholeFactors f) {
  if (f.x < 1 || f.y < 1 || (f.x == 1 && f.y == 1)) return false;
  const int fullX = source.cols / f.x, fullY = source.rows / f.y;
  if (fullX < 1 || fullY < 1) return false;
  if (target.cols < fullX || target.cols > fullX + 1 || target.rows < fullY || target.rows > fullY + 1) return false;
  const int usedX = fullX * f.x, usedY = fullY * f.y;
  const bool extraColumn = target.cols > fullX;
  const bool extraRow = target.rows > fullY;
  if ((extraColumn && source.cols == usedX) || (extraRow && source.rows == usedY)) return false;
  auto area = [&](cv::Rect from, cv::Rect to) {
    cv::Mat part = target(to);
    const uchar* before = part.data;
    cv::resize(source(from), part, to.size(), 0, 0, cv::INTER_AREA);
    return part.data == before;
  };
  bool ok = area({0, 0, usedX, usedY}, {0, 0, fullX, fullY});
  if (extraColumn) ok = ok && area({usedX, 0, source.cols - usedX, usedY}, {fullX, 0, 1, fullY});
  if (extraRow) ok = ok && area({0, usedY, usedX, source.rows - usedY}, {0, fullY, fullX, 1});
  if (extraColumn && extraRow) {
    ok = ok && area({usedX, usedY, source.cols - usedX, source.rows - usedY}, {fullX, fullY, 1, 1});
  }
  return ok;
}

// Resamples one axis at a time when one grows and the other shrinks, so each
// gets the right filter.
void Resample(const cv::Mat& source, cv::Mat& target, cv::Size size, WholeFactors factors) {
  const bool growX = size.width > source.cols, growY = size.height > source.rows;
  const bool shrinkX = size.width < source.cols, shrinkY = size.height < source.rows;
  if ((growX && shrinkY) || (growY && shrinkX)) {
    cv::Mat shrunk;
    const cv::Size between = shrinkX ? cv::Size(size.width, source.rows) : cv::Size(source.cols, size.height);
    cv::resize(source, shrunk, between, 0, 0, cv::INTER_AREA);
    cv::resize(shrunk, target, size, 0, 0, cv::INTER_CUBIC);
  } else if (growX || growY) {
    cv::resize(source, target, size, 0, 0, cv::INTER_CUBIC);
  } else if (!ShrinkByWholeFactors(source, target, factors)) {
    cv::resize(source, target, size, 0, 0, cv::INTER_AREA);
  }
}

unsigned char* ResampleTo(const cv::Mat& page, std::int64_t newWidth, std::int64_t newHeight, WholeFactors factors,
                          int* width, int* height, GeometryProgress progress) {
  if (PageBytes(page.type(), newWidth, newHeight) == 0) return nullptr;
  const cv::Size size(static_cast<int>(newWidth), static_cast<int>(newHeight));
  if (size == page.size()) return nullptr;
  ProgressScope scope(progress);
  ResultBuffer out;
  if (!out.Allocate(page.type(), size.width, size.height)) return nullptr;
  Resample(page, out.Mat(), size, factors);
  unsigned char* result = out.Release();
  if (result) {
    *width = size.width;
    *height = size.height;
  }
  return result;
}

}  // namespace

unsigned char* DeskewPage(const Background& background, int type, const unsigned char* image, int* width,
                          int* height, GeometryProgress progress) {
  const cv::Mat page = WrapPage(type, image, width, height);
  if (page.empty()) return nullptr;
  ProgressScope scope(progress);
  const auto frame = FindSheet(page, background);
  if (!frame) return nullptr;
  Report(progress, 30);
  if (frame->TurnDegrees() < kMinTurnDegrees) {
    return CopyRegion(page, BoundingBox(*frame, page.size(), false), width, height);
  }

  const std::int64_t outWidth = std::llround(frame->right - frame->left);
  const std::int64_t outHeight = std::llround(frame->bottom - frame->top);
  ResultBuffer out;
  if (PageBytes(page.type(), outWidth, outHeight) == 0 ||
      !out.Allocate(page.type(), static_cast<int>(outWidth), static_cast<int>(outHeight))) {
    return nullptr;
  }
  // Output pixel (x, y) shows sheet point (X0 + x, Y0 + y); the result is
  // centred on the measured sheet.
  const double X0 = 0.5 * (frame->left + frame->right) - 0.5 * outWidth + 0.5;
  const double Y0 = 0.5 * (frame->top + frame->bottom) - 0.5 * outHeight + 0.5;
  const double c = frame->Scale();
  const cv::Scalar fill = BackgroundFill(background, page.type());
  cv::Mat& target = out.Mat();
  for (int band = 0; band < kWarpBands; ++band) {
    const int y0 = static_cast<int>(static_cast<std::int64_t>(target.rows) * band / kWarpBands);
    const int y1 = static_cast<int>(static_cast<std::int64_t>(target.rows) * (band + 1) / kWarpBands);
    if (y1 > y0) {
      // Maps band pixel (x, y) to the page point of output pixel (x, y0 + y).
      const cv::Point2d origin = frame->ToPage(X0, Y0 + y0);
      const cv::Matx23d toPage(c, -c * frame->slopeV, origin.x,
                               c * frame->slopeH, c, origin.y);
      cv::Mat rows = target.rowRange(y0, y1);
      cv::warpAffine(page, rows, toPage, rows.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                     cv::BORDER_CONSTANT, fill);
      if (rows.data != target.ptr(y0)) return nullptr;
    }
    Report(progress, 30 + 70 * (band + 1) / kWarpBands);
  }
  unsigned char* result = out.Release();
  if (result) {
    *width = static_cast<int>(outWidth);
    *height = static_cast<int>(outHeight);
  }
  return result;
}

unsigned char* CropPage(const Background& background, int type, const unsigned char* image, int* width,
                        int* height, GeometryProgress progress) {
  const cv::Mat page = WrapPage(type, image, width, height);
  if (page.empty()) return nullptr;
  ProgressScope scope(progress);
  const auto frame = FindSheet(page, background);
  if (!frame) return nullptr;
  Report(progress, 50);
  return CopyRegion(page, BoundingBox(*frame, page.size(), true), width, height);
}

unsigned char* ZoomPage(int srcXDpi, int srcYDpi, int dstXDpi, int dstYDpi, int type, const unsigned char* image,
                        int* width, int* height, GeometryProgress progress) {
  if (srcXDpi <= 0 || srcYDpi <= 0 || dstXDpi <= 0 || dstYDpi <= 0) return nullptr;
  const cv::Mat page = WrapPage(type, image, width, height);
  if (page.empty()) return nullptr;
  // Rounded to the nearest pixel in 64-bit arithmetic; never below one pixel.
  const auto scaled = [](int size, int from, int to) {
    const std::int64_t twice = 2 * static_cast<std::int64_t>(size) * to / from;
    return std::max<std::int64_t>(1, (twice + 1) / 2);
  };
  return ResampleTo(page, scaled(page.cols, srcXDpi, dstXDpi), scaled(page.rows, srcYDpi, dstYDpi),
                    {WholeFactor(srcXDpi, dstXDpi), WholeFactor(srcYDpi, dstYDpi)}, width, height, progress);
}

unsigned char* ResizePage(int type, const unsigned char* image, int* width, int* height, int newWidth,
                          int newHeight, GeometryProgress progress) {
  const cv::Mat page = WrapPage(type, image, width, height);
  if (page.empty()) return nullptr;
  return ResampleTo(page, newWidth, newHeight, {WholeFactor(page.cols, newWidth), WholeFactor(page.rows, newHeight)},
                    width, height, progress);
}

}  // namespace geometry
