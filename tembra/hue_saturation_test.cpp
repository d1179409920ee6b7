#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// The formula pixel by pixel in 32-bit floats, written out plainly.
void ReferencePixel(uint8_t* px, int order, int hue, int saturation) {
  float r = px[order == 1 ? 2 : 0], g = px[1], b = px[order == 1 ? 0 : 2];
  float mx = std::max(r, std::max(g, b)), mn = std::min(r, std::min(g, b));
  float L = (mx + mn) / 510.0f, S = 0.0f, H = 0.0f;
  if (mx != mn) {
    float d = mx - mn;
    if (L <= 0.5f)
      S = d / (mx + mn);
    else
      S = d / (510.0f - mx - mn);
    if (mx == r) H = 60.0f * (6.0f + (g - b) / d);
    if (mx == g) H = 60.0f * (2.0f + (b - r) / d);
    if (mx == b) H = 60.0f * (4.0f + (r - g) / d);
    if (H > 360.0f) H = H - 360.0f;
  }
  long long turned = (static_cast<long long>(static_cast<int>(H)) + hue + 360) % 360;
  if (turned < 0) turned += 360;
  const int h = static_cast<int>(turned);
  float s = (S * 2000.0f - 1000.0f + static_cast<float>(saturation * 10 + 1000)) * 0.0005f;
  s = std::min(1.0f, std::max(0.0f, s));
  int out[3];
  if (s == 0.0f) {
    out[0] = out[1] = out[2] = static_cast<int>(L * 255.0f);
  } else {
    float q = L <= 0.5f ? L * (1.0f + s) : L + s - L * s;
    float p = 2.0f * L - q;
    const int hs[3] = {h + 120, h, h - 120};
    for (int c = 0; c < 3; ++c) {
      int x = hs[c];
      if (x > 360) x -= 360;
      if (x < 0) x += 360;
      float v = x < 60 ? p + (q - p) * x / 60.0f
                : x < 180 ? q
                : x < 240 ? p + (q - p) * (240 - x) / 60.0f
                          : p;
      out[c] = static_cast<int>(v * 255.0f);
    }
  }
  px[order == 1 ? 2 : 0] = static_cast<uint8_t>(out[0]);
  px[1] = static_cast<uint8_t>(out[1]);
  px[order == 1 ? 0 : 2] = static_cast<uint8_t>(out[2]);
}

void Reference(std::vector<uint8_t>& image, int order, int hue, int saturation) {
  for (std::size_t i = 0; i + 3 <= image.size(); i += 3)
    ReferencePixel(image.data() + i, order, hue, saturation);
}

std::vector<uint8_t> Pixel(uint8_t a, uint8_t b, uint8_t c) { return {a, b, c}; }

std::vector<uint8_t> Adjust(std::vector<uint8_t> image, int hue, int saturation, int order = 0) {
  EXPECT_EQ(HueSaturation(image.data(), static_cast<int>(image.size() / 3), 1, order, hue,
                          saturation),
            1);
  return image;
}

// Every colour on a coarse grid plus greys and the primaries: the cases where
// the vector code's masks and the plain branches could part ways.
std::vector<uint8_t> ColourGrid() {
  std::vector<uint8_t> image;
  for (int r = 0; r < 256; r += 15)
    for (int g = 0; g < 256; g += 15)
      for (int b = 0; b < 256; b += 15) image.insert(image.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
  for (int v = 0; v < 256; ++v) image.insert(image.end(), {uint8_t(v), uint8_t(v), uint8_t(v)});
  for (int v = 0; v < 256; ++v) {
    image.insert(image.end(), {uint8_t(v), 0, uint8_t(v)});
    image.insert(image.end(), {uint8_t(v), uint8_t(v), 0});
    image.insert(image.end(), {255, uint8_t(v), 255});
  }
  return image;
}

TEST(HueSaturationAgreement, EveryKernelMatchesThePlainFormula) {
  std::vector<std::pair<const char*, HueSatKernel>> kernels = {{"plain", &HueSatPlain},
                                                               {"best", HueSatBest()}};
  if (HueSatKernel k = HueSatAvx2()) kernels.push_back({"avx2", k});
  if (HueSatKernel k = HueSatAvx512()) kernels.push_back({"avx512", k});
  std::mt19937 rng(21);
  const auto grid = ColourGrid();
  for (int round = 0; round < 40; ++round) {
    const int hue = round < 30 ? static_cast<int>(rng() % 361) - 180
                               : static_cast<int>(rng()) % 5000;
    const int saturation = round < 30 ? static_cast<int>(rng() % 201) - 100
                                      : static_cast<int>(rng() % 1001) - 500;
    const int order = static_cast<int>(rng() % 2);
    std::vector<uint8_t> image = grid;
    for (int i = 0; i < 3000 + round; ++i) image.push_back(static_cast<uint8_t>(rng()));
    image.resize(image.size() / 3 * 3);
    auto expected = image;
    Reference(expected, order, hue, saturation);
    const int shift = ((hue % 360) + 360) % 360;
    for (auto [name, kernel] : kernels) {
      auto got = image;
      kernel(got.data(), got.size() / 3, order, shift, saturation);
      ASSERT_EQ(got, expected) << name << " hue " << hue << " sat " << saturation;
    }
  }
}

TEST(HueSaturationColours, GrayKeepsItsValueWithoutSaturation) {
  for (int v = 0; v < 256; ++v)
    for (int hue : {-180, -37, 90, 180})
      ASSERT_EQ(Adjust(Pixel(v, v, v), hue, 0), Pixel(v, v, v)) << v << " " << hue;
}

TEST(HueSaturationColours, PositiveSaturationTintsGrayRed) {
  const auto out = Adjust(Pixel(128, 128, 128), 0, 50);
  EXPECT_GT(out[0], out[1]);
  EXPECT_EQ(out[1], out[2]);
}

TEST(HueSaturationColours, PureRedTurnsGreenAndBlue) {
  EXPECT_EQ(Adjust(Pixel(255, 0, 0), 120, 0), Pixel(0, 255, 0));
  EXPECT_EQ(Adjust(Pixel(255, 0, 0), -120, 0), Pixel(0, 0, 255));
  EXPECT_EQ(Adjust(Pixel(0, 0, 255), 120, 0, 1), Pixel(0, 255, 0));  // B, G, R order
}

TEST(HueSaturationColours, FullDesaturationGivesGrayAtTheLightness) {
  std::mt19937 rng(4);
  for (int i = 0; i < 2000; ++i) {
    const uint8_t r = rng(), g = rng(), b = rng();
    const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    if (mx + mn > 255) continue;  // S <= 0.5 needs the darker half here
    const float S = mx == mn ? 0.0f : float(mx - mn) / float(mx + mn);
    if (S > 0.5f) continue;
    const auto out = Adjust(Pixel(r, g, b), 0, -100);
    EXPECT_EQ(out[0], out[1]);
    EXPECT_EQ(out[1], out[2]);
    EXPECT_NEAR(out[0], (mx + mn) / 2.0, 1.0);
  }
}

TEST(HueSaturationColours, ByteOrderOnlyMirrorsTheResult) {
  std::mt19937 rng(8);
  std::vector<uint8_t> rgb(3 * 500);
  for (auto& v : rgb) v = static_cast<uint8_t>(rng());
  std::vector<uint8_t> bgr = rgb;
  for (std::size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
  auto a = Adjust(rgb, 75, -30, 0);
  auto b = Adjust(bgr, 75, -30, 1);
  for (std::size_t i = 0; i < b.size(); i += 3) std::swap(b[i], b[i + 2]);
  EXPECT_EQ(a, b);
}

TEST(HueSaturationColours, WholeTurnsOfHueGiveTheSameResult) {
  const auto grid = ColourGrid();
  const auto base = Adjust(grid, 40, 10);
  EXPECT_EQ(Adjust(grid, 400, 10), base);
  EXPECT_EQ(Adjust(grid, -320, 10), base);
  EXPECT_EQ(Adjust(grid, 40 - 3600, 10), base);
}

TEST(HueSaturationFailures, MissingImageOrSizeChangesNothing) {
  std::vector<uint8_t> image(48, 77);
  const auto before = image;
  EXPECT_EQ(HueSaturation(nullptr, 4, 4, 0, 10, 10), 0);
  for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {-1, 4}, {4, -9}, {INT32_MAX, INT32_MAX}})
    EXPECT_EQ(HueSaturation(image.data(), w, h, 0, 10, 10), 0);
  std::vector<uint8_t> coloured = {200, 10, 60, 5, 90, 250};
  const auto colouredBefore = coloured;
  EXPECT_EQ(HueSaturation(coloured.data(), 2, 1, 0, 0, 0), 1);
  EXPECT_EQ(coloured, colouredBefore);
  EXPECT_EQ(image, before);
}

}  // namespace
}  // namespace tembra
