// Hue and saturation through the HSL model, pixel by pixel, in 32-bit floats.
// The vector kernels (hue_saturation_kernel.inc) follow the same operations in
// the same order, so every build and every CPU gives the same bytes.
#include <algorithm>

#include "tembra/cpu.h"
#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// One channel back from HSL: h in whole degrees, p and q the HSL bounds.
int Channel(int h, float p, float q) {
  if (h > 360) h -= 360;
  if (h < 0) h += 360;
  float v;
  if (h < 60)
    v = p + (q - p) * static_cast<float>(h) / 60.0f;
  else if (h < 180)
    v = q;
  else if (h < 240)
    v = p + (q - p) * static_cast<float>(240 - h) / 60.0f;
  else
    v = p;
  return static_cast<int>(v * 255.0f);
}

void Pixel(uint8_t* px, int rPos, int bPos, int hueShift, float satTerm) {
  const int R = px[rPos];
  const int G = px[1];
  const int B = px[bPos];
  const int mxI = std::max(R, std::max(G, B));
  const int mnI = std::min(R, std::min(G, B));
  const float mx = static_cast<float>(mxI);
  const float mn = static_cast<float>(mnI);
  const float L = (mx + mn) / 510.0f;
  float S = 0.0f;
  float H = 0.0f;
  if (mxI != mnI) {
    const float d = mx - mn;
    S = L <= 0.5f ? d / (mx + mn) : d / (510.0f - mx - mn);
    // Later matches win: a tie between red and blue takes blue's formula.
    if (mxI == R) H = 60.0f * (6.0f + static_cast<float>(G - B) / d);
    if (mxI == G) H = 60.0f * (2.0f + static_cast<float>(B - R) / d);
    if (mxI == B) H = 60.0f * (4.0f + static_cast<float>(R - G) / d);
    if (H > 360.0f) H -= 360.0f;
  }
  int h = static_cast<int>(H) + hueShift;
  if (h >= 360) h -= 360;
  float s = (S * 2000.0f - 1000.0f + satTerm) * 0.0005f;
  if (s < 0.0f) s = 0.0f;
  if (s > 1.0f) s = 1.0f;
  int r, g, b;
  if (s == 0.0f) {
    r = g = b = static_cast<int>(L * 255.0f);
  } else {
    const float q = L <= 0.5f ? L * (1.0f + s) : L + s - L * s;
    const float p = 2.0f * L - q;
    r = Channel(h + 120, p, q);
    g = Channel(h, p, q);
    b = Channel(h - 120, p, q);
  }
  px[rPos] = static_cast<uint8_t>(r);
  px[1] = static_cast<uint8_t>(g);
  px[bPos] = static_cast<uint8_t>(b);
}

}  // namespace

void HueSatPlain(uint8_t* data, std::size_t pixels, int order, int hueShift, int saturation) {
  const int rPos = order == 1 ? 2 : 0;
  const int bPos = 2 - rPos;
  const float satTerm = static_cast<float>(static_cast<int64_t>(saturation) * 10 + 1000);
  for (std::size_t i = 0; i < pixels; ++i) Pixel(data + 3 * i, rPos, bPos, hueShift, satTerm);
}

HueSatKernel HueSatAvx512Entry();
HueSatKernel HueSatAvx2Entry();

HueSatKernel HueSatAvx512() { return CpuHasAvx512Vbmi() ? HueSatAvx512Entry() : nullptr; }
HueSatKernel HueSatAvx2() { return CpuHasAvx2() ? HueSatAvx2Entry() : nullptr; }

HueSatKernel HueSatBest() {
  static const HueSatKernel best = [] {
    if (HueSatKernel k = HueSatAvx512()) return k;
    if (HueSatKernel k = HueSatAvx2()) return k;
    return &HueSatPlain;
  }();
  return best;
}

int HueSaturation(unsigned char* image, int width, int height, int order, int hue,
                  int saturation) {
  if (image == nullptr) return 0;
  const std::size_t pixels = SampleCount(width, height, 3) / 3;
  if (pixels == 0) return 0;
  if (hue == 0 && saturation == 0) return 1;
  // trunc(H) + hue + 360 taken modulo 360 as a true modulo, so that any
  // shift, not only -180..180, lands on 0..359.
  const int hueShift = ((hue % 360) + 360) % 360;
  HueSatBest()(image, pixels, order, hueShift, saturation);
  return 1;
}

}  // namespace tembra
