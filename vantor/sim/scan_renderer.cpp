#include "vantor/sim/scan_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vantor/sim/sensor_response.h"

namespace vantor_sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The curve is tabulated over the square root of the light: there its slope
// stays below 1.2, so 2^17 steps are finer than a 16-bit output step even in
// the darks, and the table stays small enough for the cache.
constexpr int kEncodeBits = 17;
constexpr int kEncodeMax = (1 << kEncodeBits) - 1;

const std::vector<uint16_t>& EncodeTable() {
  static const std::vector<uint16_t> table = [] {
    std::vector<uint16_t> t(static_cast<size_t>(kEncodeMax) + 1);
    for (int i = 0; i <= kEncodeMax; ++i) {
      const double root = static_cast<double>(i) / kEncodeMax;
      const double v = std::pow(root * root, 1.0 / kSensorGamma);
      t[static_cast<size_t>(i)] = static_cast<uint16_t>(std::lround(v * 65535.0));
    }
    return t;
  }();
  return table;
}

}  // namespace

namespace {

inline uint16_t Encode(const uint16_t* table, float light) {
  if (!(light > 0.0f)) return table[0];  // also NaN
  const float scaled = std::sqrt(std::clamp(light, 0.0f, 1.0f)) * static_cast<float>(kEncodeMax) + 0.5f;
  return table[static_cast<size_t>(scaled)];
}

}  // namespace

uint16_t EncodeSensor(float light) { return Encode(EncodeTable().data(), light); }

double FeedLengthUnits(double sheetWidth, double sheetHeight, const Placement& p) {
  const double a = p.angleDeg * kPi / 180;
  const double c = std::cos(a), s = std::sin(a);
  double lowest = 0;
  for (double x : {0.0, sheetWidth})
    for (double y : {0.0, sheetHeight}) lowest = std::max(lowest, x * s + y * c);
  return std::max(0.0, p.offsetY + lowest) + kTrailingMarginUnits;
}

int BytesPerPixel(int mode) {
  switch (mode) {
    case 1: return 1;
    case 2: return 3;
    case 9: return 2;
    case 10: return 6;
    default: return 0;
  }
}

ScanRenderer::ScanRenderer(std::shared_ptr<const Sheet> sheet, const Placement& placement,
                           const OutputFrame& frame)
    : sheet_(std::move(sheet)), frame_(frame), background_(BackgroundLight()) {
  const double a = placement.angleDeg * kPi / 180;
  const double c = std::cos(a), s = std::sin(a);
  const double gx = sheet_ ? sheet_->dpiX() / 300 : 1, gy = sheet_ ? sheet_->dpiY() / 300 : 1;
  // Centre of output pixel (0, 0) in device units, relative to the corner.
  const double dx = frame.left + 150.0 / frame.dpiX - placement.offsetX;
  const double dy = frame.top + 150.0 / frame.dpiY - placement.offsetY;
  // Undo the turn, then go to grid pixels (pixel i has its centre at i).
  s0_ = (dx * c + dy * s) * gx - 0.5;
  t0_ = (-dx * s + dy * c) * gy - 0.5;
  dsdu_ = 300 / frame.dpiX * c * gx;
  dtdu_ = -300 / frame.dpiX * s * gy;
  dsdv_ = 300 / frame.dpiY * s * gx;
  dtdv_ = 300 / frame.dpiY * c * gy;
  bandLines_ = std::clamp(frame.lines, 1, 256);
  band_.resize(static_cast<size_t>(bandLines_) * static_cast<size_t>(std::max(0, frame.pixels)) * 3);
}

const uint16_t* ScanRenderer::Line(int line) {
  if (bandFirst_ < 0 || line < bandFirst_ || line >= bandFirst_ + bandLines_) RenderBand(line);
  return band_.data() + static_cast<size_t>(line - bandFirst_) * static_cast<size_t>(frame_.pixels) * 3;
}

void ScanRenderer::RenderBand(int firstLine) {
  bandFirst_ = firstLine;
  const int pixels = frame_.pixels;
  const uint16_t* enc = EncodeTable().data();
  const uint16_t bg = Encode(enc, background_[0]);
  const int gw = sheet_ ? sheet_->gridWidth() : 0, gh = sheet_ ? sheet_->gridHeight() : 0;

  // Sheet rows this band can touch: the grid rows under its four corners,
  // one more on each side for the interpolation.
  double tMin = 1e300, tMax = -1e300;
  for (int u : {0, std::max(0, pixels - 1)}) {
    for (int v : {firstLine, firstLine + bandLines_ - 1}) {
      const double t = t0_ + u * dtdu_ + v * dtdv_;
      tMin = std::min(tMin, t);
      tMax = std::max(tMax, t);
    }
  }
  const int rowFirst = std::max(0, static_cast<int>(std::floor(tMin)) - 1);
  const int rowEnd = std::min(gh, static_cast<int>(std::floor(tMax)) + 3);
  if (!sheet_ || rowFirst >= rowEnd || gw <= 0) {
    std::fill(band_.begin(), band_.end(), bg);
    return;
  }
  sheetRows_.resize(static_cast<size_t>(rowEnd - rowFirst) * static_cast<size_t>(gw) * 3);
  sheet_->RenderRows(rowFirst, rowEnd - rowFirst, sheetRows_.data());

  const float* rows = sheetRows_.data();
  const size_t stride = static_cast<size_t>(gw) * 3;
  auto fetch = [&](int i, int j, int ch) -> float {
    if (i < 0 || i >= gw || j < rowFirst || j >= rowEnd) return background_[static_cast<size_t>(ch)];
    return rows[static_cast<size_t>(j - rowFirst) * stride + static_cast<size_t>(i) * 3 + static_cast<size_t>(ch)];
  };
  // Interpolate a line of light first, then encode it in a separate loop
  // the compiler can vectorise (the square root dominates otherwise).
  std::vector<float> light(static_cast<size_t>(pixels) * 3);
  const float bgLight = background_[0];
  for (int v = 0; v < bandLines_; ++v) {
    const double sv = s0_ + (firstLine + v) * dsdv_, tv = t0_ + (firstLine + v) * dtdv_;
    float* l = light.data();
    for (int u = 0; u < pixels; ++u, l += 3) {
      const double s = sv + u * dsdu_, t = tv + u * dtdu_;
      const double sf = std::floor(s), tf = std::floor(t);
      if (sf < -2 || sf > gw + 1 || tf < -2 || tf > gh + 1) {
        l[0] = l[1] = l[2] = bgLight;
        continue;
      }
      const int i = static_cast<int>(sf), j = static_cast<int>(tf);
      const float fx = static_cast<float>(s - sf), fy = static_cast<float>(t - tf);
      if (i >= 0 && i + 1 < gw && j >= rowFirst && j + 1 < rowEnd) {
        const float* p = rows + static_cast<size_t>(j - rowFirst) * stride + static_cast<size_t>(i) * 3;
        for (int ch = 0; ch < 3; ++ch) {
          const float top = p[ch] + (p[ch + 3] - p[ch]) * fx;
          const float bottom = p[stride + ch] + (p[stride + ch + 3] - p[stride + ch]) * fx;
          l[ch] = top + (bottom - top) * fy;
        }
      } else {
        for (int ch = 0; ch < 3; ++ch) {
          const float top = fetch(i, j, ch) + (fetch(i + 1, j, ch) - fetch(i, j, ch)) * fx;
          const float bottom = fetch(i, j + 1, ch) + (fetch(i + 1, j + 1, ch) - fetch(i, j + 1, ch)) * fx;
          l[ch] = top + (bottom - top) * fy;
        }
      }
    }
    uint16_t* out = band_.data() + static_cast<size_t>(v) * static_cast<size_t>(pixels) * 3;
    const size_t n = light.size();
    std::vector<uint32_t>& index = index_;
    index.resize(n);
    for (size_t k = 0; k < n; ++k) {
      // Clamped first so that NaN and negatives land on 0.
      const float x = std::min(std::max(0.0f, light[k]), 1.0f);
      index[k] = static_cast<uint32_t>(std::sqrt(x) * static_cast<float>(kEncodeMax) + 0.5f);
    }
    for (size_t k = 0; k < n; ++k) out[k] = enc[index[k]];
  }
}

void PackLine(const uint16_t* rgb, int pixels, int mode, int order, const uint16_t* table,
              uint8_t* out) {
  const bool gray = mode == 1 || mode == 9;
  const bool deep = mode == 9 || mode == 10;
  auto put = [&](uint32_t value) {
    if (deep) {
      *out++ = static_cast<uint8_t>(value & 0xFF);
      *out++ = static_cast<uint8_t>(value >> 8);
    } else {
      *out++ = static_cast<uint8_t>(table ? std::min<uint32_t>(value, 255) : (value + 128) / 257);
    }
  };
  for (int x = 0; x < pixels; ++x, rgb += 3) {
    if (gray) {
      // Luma of the encoded channels, as the device's own gray conversion.
      const uint32_t g = (299u * rgb[0] + 587u * rgb[1] + 114u * rgb[2] + 500u) / 1000u;
      put(table ? table[g] : g);
    } else {
      for (int k = 0; k < 3; ++k) {
        const int ch = order == 1 ? 2 - k : k;
        const uint32_t v = rgb[ch];
        put(table ? table[static_cast<size_t>(ch) * 65536 + v] : v);
      }
    }
  }
}

}  // namespace vantor_sim
