#include "vantor/sim/sample_document.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "vantor/sim/sensor_response.h"

namespace vantor_sim {
namespace {

constexpr double kLayoutWidth = 2480;  // A4 at 300 dpi
constexpr double kLayoutHeight = 3508;
constexpr double kPi = 3.14159265358979323846;

// 5 x 7 glyphs, one byte per row, bit 4 leftmost.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& g : kFont)
    if (g.c == c) return &g;
  return nullptr;
}

// Deterministic pseudo-random numbers for the text strokes.
struct Lcg {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
};

double Smoothstep(double e0, double e1, double x) {
  double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Part of pixel i (pixel size 1/k) covered by [a, b].
inline double Coverage(int i, double k, double a, double b) {
  const double lo = std::max(a * k, static_cast<double>(i));
  const double hi = std::min(b * k, static_cast<double>(i + 1));
  return std::clamp(hi - lo, 0.0, 1.0);
}

// Pixel index range [lo, hi) touched by [a, b] at k pixels per unit.
inline void Span(double a, double b, double k, int limit, int& lo, int& hi) {
  lo = std::max(0, static_cast<int>(std::floor(a * k)));
  hi = std::min(limit, static_cast<int>(std::ceil(b * k)));
}

inline double Hypot(double a, double b) { return std::sqrt(a * a + b * b); }

inline void Blend(float* px, const Rgb& light, double c) {
  const float a = static_cast<float>(c);
  for (int ch = 0; ch < 3; ++ch) px[ch] = px[ch] + (light[ch] - px[ch]) * a;
}

}  // namespace

Rgb MixLinear(double r, double g, double b) {
  const double in[3] = {r, g, b};
  Rgb out{};
  for (int row = 0; row < 3; ++row) {
    double v = 0;
    for (int c = 0; c < 3; ++c) v += kSensorMatrix[row][c] * in[c];
    out[static_cast<size_t>(row)] = static_cast<float>(v);
  }
  return out;
}

Rgb SensorLinear(uint8_t r, uint8_t g, uint8_t b) {
  return MixLinear(SrgbToLinear(r / 255.0), SrgbToLinear(g / 255.0), SrgbToLinear(b / 255.0));
}

Rgb BackgroundLight() {
  // The inverse of the sensor's power curve, so the delivered value is 30.
  const float v = static_cast<float>(std::pow(30.0 / 255.0, kSensorGamma));
  return {v, v, v};
}

SampleDocument::SampleDocument(int pageNumber, double dpiX, double dpiY, double widthUnits,
                               double heightUnits)
    : number_(pageNumber),
      scaleX_(widthUnits / kLayoutWidth),
      scaleY_(heightUnits / kLayoutHeight) {
  widthUnits_ = widthUnits;
  heightUnits_ = heightUnits;
  dpiX_ = dpiX;
  dpiY_ = dpiY;
  gridWidth_ = std::max(1, static_cast<int>(std::lround(widthUnits * dpiX / 300.0)));
  gridHeight_ = std::max(1, static_cast<int>(std::lround(heightUnits * dpiY / 300.0)));

  paper_ = SensorLinear(247, 246, 242);
  halftoneInk_ = SensorLinear(22, 22, 26);
  layerLight_ = {SensorLinear(24, 24, 28), SensorLinear(20, 40, 110)};

  // Heading, module 16 layout units.
  AddText("SAMPLE PAGE", 150, 140, 16, 1);
  AddStrokeLines(Scaled(150, 320, 2330, 960), 12345u);

  photo_ = Scaled(150, 1010, 1210, 1790);
  halftone_ = Scaled(1270, 1010, 2330, 1790);
  ramp_ = Scaled(150, 1840, 2330, 1950);

  // Colour chart: 6 x 4 patches.
  for (int i = 0; i < 24; ++i) {
    const ChartPatch& p = kChartPatches[i];
    const double x = 150 + (i % 6) * 368.0;
    const double y = 2110 + (i / 6) * 288.0;
    patches_.push_back({Scaled(x, y, x + 340, y + 260), SensorLinear(p.r, p.g, p.b)});
  }
  // 16 gray steps under the continuous ramp.
  for (int i = 0; i < 16; ++i) {
    const double x0 = 150 + i * (2180.0 / 16);
    const uint8_t v = static_cast<uint8_t>(i * 17);
    patches_.push_back({Scaled(x0, 1950, x0 + 2180.0 / 16, 2030), SensorLinear(v, v, v)});
  }

  // Page number, right-aligned in the bottom-right corner.
  char label[32];
  std::snprintf(label, sizeof label, "PAGE %d", pageNumber);
  const double module = 8;
  const double width = (6.0 * static_cast<double>(std::strlen(label)) - 1) * module;
  AddText(label, 2330 - width, 3300, module, 0);
  pageNumber_ = Scaled(2330 - width, 3300, 2330, 3300 + 7 * module);
}

SampleDocument::Box SampleDocument::Scaled(double x0, double y0, double x1, double y1) const {
  return {x0 * scaleX_, y0 * scaleY_, x1 * scaleX_, y1 * scaleY_};
}

void SampleDocument::AddText(const char* text, double x, double y, double module, int layer) {
  for (const char* c = text; *c; ++c, x += 6 * module) {
    const Glyph* g = FindGlyph(*c);
    if (!g) continue;
    for (int row = 0; row < 7; ++row) {
      // One rectangle per horizontal run of set bits.
      for (int col = 0; col < 5;) {
        if (!(g->rows[row] & (0x10 >> col))) {
          ++col;
          continue;
        }
        int end = col;
        while (end < 5 && (g->rows[row] & (0x10 >> end))) ++end;
        ink_.push_back({Scaled(x + col * module, y + row * module, x + end * module,
                               y + (row + 1) * module),
                        layer});
        col = end;
      }
    }
  }
}

void SampleDocument::AddStrokeLines(Box area, unsigned seed) {
  // Lines of "words" made of stems and bars at 12 point: x-height 22, line
  // pitch 50, stroke 4 (layout units); paragraphs end with a short line.
  Lcg rng{seed};
  const double pitch = 50 * scaleY_;
  int lineInParagraph = 0;
  for (double base = area.y0 + 32 * scaleY_; base <= area.y1; base += pitch, ++lineInParagraph) {
    const bool lastOfParagraph = lineInParagraph == 4;
    const double right = lastOfParagraph ? area.x0 + (area.x1 - area.x0) * 0.55 : area.x1;
    double x = area.x0 + (lineInParagraph == 0 ? 60 * scaleX_ : 0);
    while (true) {
      const int letters = rng.Range(2, 9);
      const double letterW = 18 * scaleX_, gap = 5 * scaleX_, stroke = 4 * scaleX_;
      if (x + letters * (letterW + gap) > right) break;
      for (int l = 0; l < letters; ++l, x += letterW + gap) {
        const double xh = 22 * scaleY_, sy = 4 * scaleY_;
        const int shape = rng.Range(0, 5);
        const double top = base - (shape == 3 ? 32 * scaleY_ : xh);
        const double bottom = shape == 4 ? base + 9 * scaleY_ : base;
        ink_.push_back({{x, top, x + stroke, bottom}, 0});
        if (shape != 3) ink_.push_back({{x + letterW - stroke, base - xh, x + letterW, base}, 0});
        if (shape == 0 || shape == 2 || shape == 5) ink_.push_back({{x, base - xh, x + letterW, base - xh + sy}, 0});
        if (shape == 0 || shape == 1) ink_.push_back({{x, base - sy, x + letterW, base}, 0});
        if (shape == 2) ink_.push_back({{x, base - xh / 2 - sy / 2, x + letterW, base - xh / 2 + sy / 2}, 0});
      }
      x += 16 * scaleX_;
    }
    if (lastOfParagraph) {
      lineInParagraph = -1;
      base += pitch * 0.5;
    }
  }
}

void SampleDocument::RenderRows(int first, int count, float* out) const {
  const size_t n = static_cast<size_t>(count) * static_cast<size_t>(gridWidth_);
  for (size_t i = 0; i < n; ++i) std::memcpy(out + 3 * i, paper_.data(), sizeof(float) * 3);
  RenderPhoto(first, count, out);
  RenderHalftone(first, count, out);
  RenderRamp(first, count, out);
  RenderPatches(first, count, out);
  RenderInk(first, count, out);
}

// Runs f(row, column, coverage, xUnits, yUnits, pixel) for every pixel of the
// band that box touches.
template <class F>
static void ForBox(const SampleDocument::Box& box, int first, int count, int width, double kx,
                   double ky, float* out, F&& f) {
  int r0, r1, c0, c1;
  Span(box.y0, box.y1, ky, first + count, r0, r1);
  r0 = std::max(r0, first);
  Span(box.x0, box.x1, kx, width, c0, c1);
  for (int r = r0; r < r1; ++r) {
    const double cy = Coverage(r, ky, box.y0, box.y1);
    const double y = (r + 0.5) / ky;
    float* row = out + static_cast<size_t>(r - first) * static_cast<size_t>(width) * 3;
    for (int c = c0; c < c1; ++c) {
      const double cov = cy * Coverage(c, kx, box.x0, box.x1);
      if (cov > 0) f(c, cov, (c + 0.5) / kx, y, row + 3 * c);
    }
  }
}

void SampleDocument::RenderPhoto(int first, int count, float* out) const {
  const Box b = photo_;
  const double w = b.x1 - b.x0, h = b.y1 - b.y0;
  const double edge = 3.0 / std::max(w, h);  // soft edges a few units wide
  ForBox(b, first, count, gridWidth_, dpiX_ / 300, dpiY_ / 300, out,
         [&](int, double cov, double x, double y, float* px) {
           const double u = (x - b.x0) / w, v = (y - b.y0) / h;
           // Sky: deep blue at the top to pale at the horizon (linear light).
           const double t = std::clamp(v / 0.6, 0.0, 1.0);
           double r = 0.02 + 0.43 * t, g = 0.06 + 0.56 * t, bl = 0.35 + 0.50 * t;
           // Sun with a soft rim.
           const double ds = Hypot((u - 0.78) * w, (v - 0.22) * h) / (0.09 * h);
           const double sun = Smoothstep(1 + 4 * edge, 1 - 4 * edge, ds);
           r += (1.0 - r) * sun, g += (0.82 - g) * sun, bl += (0.30 - bl) * sun;
           // Rolling hills.
           const double horizon = 0.58 + 0.06 * std::sin(7 * u) + 0.03 * std::sin(17 * u + 1);
           const double land = Smoothstep(-edge, edge, v - horizon);
           const double lt = std::clamp((v - 0.5) / 0.5, 0.0, 1.0);
           r += (0.03 + 0.15 * lt - r) * land;
           g += (0.18 + 0.24 * lt - g) * land;
           bl += (0.02 + 0.04 * lt - bl) * land;
           // A shaded red ball in front.
           const double bx = (u - 0.30) * w, by = (v - 0.76) * h, radius = 0.13 * h;
           const double ball = Smoothstep(1 + 3 * edge, 1 - 3 * edge, Hypot(bx, by) / radius);
           const double shade =
               0.25 + 0.75 * std::clamp(1 - Hypot(bx + 0.35 * radius, by + 0.35 * radius) / (1.6 * radius), 0.0, 1.0);
           r += (0.80 * shade - r) * ball;
           g += (0.05 * shade - g) * ball;
           bl += (0.03 * shade - bl) * ball;
           Blend(px, MixLinear(r, g, bl), cov);
         });
}

void SampleDocument::RenderHalftone(int first, int count, float* out) const {
  const Box b = halftone_;
  const double w = b.x1 - b.x0, h = b.y1 - b.y0;
  const double kx = dpiX_ / 300, ky = dpiY_ / 300;
  // Samples per pixel side: enough that a sample is under half a screen cell.
  const double pixelCells = std::max(1 / kx, 1 / ky) / kScreenPeriod;
  const int n = std::clamp(static_cast<int>(std::ceil(pixelCells * 3)), 1, 4);
  const double edgeWidth = pixelCells / n;
  const double s = std::sqrt(0.5) / kScreenPeriod;
  ForBox(b, first, count, gridWidth_, kx, ky, out, [&](int, double cov, double x, double y, float* px) {
    const double u = (x - b.x0) / w, v = (y - b.y0) / h;
    const double r = Hypot(u - 0.5, (v - 0.5) * h / w);
    const double tone = 0.05 + 0.9 * (0.55 * u + 0.45 * (0.5 + 0.5 * std::cos(r * 14)));
    const double dotRadius = std::sqrt(std::min(tone, 0.5) / kPi);
    const double holeRadius = std::sqrt(std::min(1 - tone, 0.5) / kPi);
    double ink = 0;
    for (int sy = 0; sy < n; ++sy) {
      for (int sx = 0; sx < n; ++sx) {
        const double xs = x + ((sx + 0.5) / n - 0.5) / kx;
        const double ys = y + ((sy + 0.5) / n - 0.5) / ky;
        const double a = (xs + ys) * s, c = (ys - xs) * s;
        const double fa = a - std::floor(a) - 0.5, fc = c - std::floor(c) - 0.5;
        if (tone <= 0.5) {
          ink += std::clamp((dotRadius - std::sqrt(fa * fa + fc * fc)) / edgeWidth + 0.5, 0.0, 1.0);
        } else {
          const double ea = 0.5 - std::fabs(fa), ec = 0.5 - std::fabs(fc);
          const double d = std::sqrt(ea * ea + ec * ec);
          ink += 1 - std::clamp((holeRadius - d) / edgeWidth + 0.5, 0.0, 1.0);
        }
      }
    }
    ink /= n * n;
    Rgb light;
    for (size_t ch = 0; ch < 3; ++ch) light[ch] = static_cast<float>(paper_[ch] + (halftoneInk_[ch] - paper_[ch]) * ink);
    Blend(px, light, cov);
  });
}

void SampleDocument::RenderRamp(int first, int count, float* out) const {
  const Box b = ramp_;
  ForBox(b, first, count, gridWidth_, dpiX_ / 300, dpiY_ / 300, out,
         [&](int, double cov, double x, double, float* px) {
           // Evenly spaced in encoded sRGB, black on the left.
           const double v = std::clamp((x - b.x0) / (b.x1 - b.x0), 0.0, 1.0);
           const float l = static_cast<float>(SrgbToLinear(v));
           Blend(px, Rgb{l, l, l}, cov);
         });
}

void SampleDocument::RenderPatches(int first, int count, float* out) const {
  for (const Patch& p : patches_) {
    if (p.box.y1 * dpiY_ / 300 < first || p.box.y0 * dpiY_ / 300 > first + count) continue;
    ForBox(p.box, first, count, gridWidth_, dpiX_ / 300, dpiY_ / 300, out,
           [&](int, double cov, double, double, float* px) { Blend(px, p.light, cov); });
  }
}

void SampleDocument::RenderInk(int first, int count, float* out) const {
  // Coverage of one ink is summed before blending, so strokes that touch or
  // cross leave no light seams.
  const size_t n = static_cast<size_t>(count) * static_cast<size_t>(gridWidth_);
  std::vector<float> coverage;
  const double kx = dpiX_ / 300, ky = dpiY_ / 300;
  for (size_t layer = 0; layer < layerLight_.size(); ++layer) {
    coverage.assign(n, 0.0f);
    bool any = false;
    for (const InkRect& rect : ink_) {
      if (static_cast<size_t>(rect.layer) != layer) continue;
      if (rect.box.y1 * ky < first || rect.box.y0 * ky > first + count) continue;
      int r0, r1, c0, c1;
      Span(rect.box.y0, rect.box.y1, ky, first + count, r0, r1);
      r0 = std::max(r0, first);
      Span(rect.box.x0, rect.box.x1, kx, gridWidth_, c0, c1);
      for (int r = r0; r < r1; ++r) {
        const double cy = Coverage(r, ky, rect.box.y0, rect.box.y1);
        float* row = coverage.data() + static_cast<size_t>(r - first) * static_cast<size_t>(gridWidth_);
        for (int c = c0; c < c1; ++c) row[c] += static_cast<float>(cy * Coverage(c, kx, rect.box.x0, rect.box.x1));
        any = true;
      }
    }
    if (!any) continue;
    for (size_t i = 0; i < n; ++i) {
      if (coverage[i] > 0) Blend(out + 3 * i, layerLight_[layer], std::min(1.0f, coverage[i]));
    }
  }
}

}  // namespace vantor_sim
