#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tembra/tembra_core.h"

namespace tembra {
namespace {

std::vector<uint16_t> Channel(int in, int out, const EnhanceParam& p, bool lowGamma = false,
                              const uint16_t* lowTable = nullptr) {
  std::vector<uint16_t> entries(std::size_t{1} << in);
  BuildChannel(in, out, p, lowGamma, lowTable, entries.data());
  return entries;
}

EnhanceParam WithCurve(std::initializer_list<std::pair<int, int>> points) {
  EnhanceParam p = NeutralEnhanceParam();
  int k = 0;
  for (auto [x, y] : points) p.CurvePoints[k++] = {x, y};
  p.CurvePointCount = static_cast<uint8_t>(k);
  return p;
}

TEST(ToneTableNeutral, IsIdentityWhenInputAndOutputDepthsMatch) {
  for (int bits = 1; bits <= 16; ++bits) {
    const auto entries = Channel(bits, bits, NeutralEnhanceParam());
    for (std::size_t i = 0; i < entries.size(); ++i)
      ASSERT_EQ(entries[i], i) << "bits " << bits;
  }
}

TEST(ToneTableNeutral, EightToSixteenCentresEachStep) {
  const auto entries = Channel(8, 16, NeutralEnhanceParam());
  for (int i = 0; i < 256; ++i) EXPECT_EQ(entries[i], i * 256 + 128);
}

TEST(ToneTableNeutral, SixteenToEightKeepsTheHighByte) {
  const auto entries = Channel(16, 8, NeutralEnhanceParam());
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(entries[i], i >> 8);
}

TEST(ToneTableSettings, ContrastMinus127GivesOneFlatValue) {
  EnhanceParam p = NeutralEnhanceParam();
  p.Contrast = -127;
  for (uint16_t e : Channel(8, 8, p)) EXPECT_EQ(e, 127);
}

TEST(ToneTableSettings, PositiveContrastClipsBothEndsAndStaysSymmetric) {
  EnhanceParam p = NeutralEnhanceParam();
  p.Contrast = 63;  // v = 63: 0..63 black, 192..255 white
  const auto e = Channel(8, 8, p);
  for (int i = 0; i <= 63; ++i) EXPECT_EQ(e[i], 0);
  for (int i = 192; i < 256; ++i) EXPECT_EQ(e[i], 255);
  for (int i = 64; i < 192; ++i) {
    EXPECT_LE(e[i - 1], e[i]);
    // (i - v) * 255 / (255 - 2v) mirrored around the middle, within truncation.
    EXPECT_NEAR(e[i] + e[255 - i], 255, 1) << i;
  }
}

TEST(ToneTableSettings, Brightness127AddsThenClamps) {
  EnhanceParam p = NeutralEnhanceParam();
  p.Brightness = 127;
  const auto e = Channel(8, 8, p);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(e[i], std::min(i + 127, 255));
  p.Brightness = -127;
  const auto d = Channel(8, 8, p);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(d[i], std::max(i - 127, 0));
}

TEST(ToneTableSettings, InputLevelsBlackenBelowAndWhitenAbove) {
  EnhanceParam p = NeutralEnhanceParam();
  p.InputLevelLow = 50;
  p.InputLevelHigh = 200;
  const auto e = Channel(8, 8, p);
  for (int i = 0; i <= 50; ++i) EXPECT_EQ(e[i], 0);
  for (int i = 200; i < 256; ++i) EXPECT_EQ(e[i], 255);
  for (int i = 51; i < 200; ++i) {
    EXPECT_LT(e[i - 1], e[i]);
    EXPECT_NEAR(e[i], 255.0 * (i - 50) / 150.0, 1.0);
  }
}

TEST(ToneTableSettings, GammaBendsTheMiddleTheRightWay) {
  EnhanceParam p = NeutralEnhanceParam();
  p.Gamma = 20;
  const auto bright = Channel(8, 8, p);
  p.Gamma = 5;
  const auto dark = Channel(8, 8, p);
  EXPECT_NEAR(bright[128], 255.0 * std::sqrt(128.0 / 255.0), 1.0);
  EXPECT_NEAR(dark[128], 255.0 * std::pow(128.0 / 255.0, 2.0), 1.0);
}

TEST(ToneTableSettings, GammaZeroFlattensTheRisingPart) {
  EnhanceParam p = NeutralEnhanceParam();
  p.Gamma = 0;
  const auto e = Channel(8, 8, p);
  for (int i = 0; i < 255; ++i) EXPECT_EQ(e[i], 0);
  EXPECT_EQ(e[255], 255);
}

TEST(ToneTableSettings, OutputLevelsCompressTheRange) {
  EnhanceParam p = NeutralEnhanceParam();
  p.OutputLevelLow = 63;   // lo = 63
  p.OutputLevelHigh = 191; // hi = 191
  const auto e = Channel(8, 8, p);
  EXPECT_EQ(e[0], 63);
  EXPECT_EQ(e[255], 63 + 255 * 129 / 256);
  for (int i = 1; i < 256; ++i) EXPECT_LE(e[i - 1], e[i]);
}

TEST(ToneTableSettings, LowGammaTableReplacesTheDarkEndAtEightBitsOnly) {
  uint16_t low[32];
  for (int u = 0; u < 32; ++u) low[u] = static_cast<uint16_t>(100 + u);
  const EnhanceParam p = NeutralEnhanceParam();
  const auto e = Channel(8, 8, p, true, low);
  const auto plain = Channel(8, 8, p);
  for (int i = 1; i < 255; ++i) {
    const int u = static_cast<int>(static_cast<float>(i) / 255.0f * 256.0f);
    if (u < 32)
      EXPECT_EQ(e[i], 100 + u) << i;
    else
      EXPECT_EQ(e[i], plain[i]) << i;
  }
  // Other depths and a missing table ignore the flag.
  EXPECT_EQ(Channel(10, 10, p, true, low), Channel(10, 10, p));
  EXPECT_EQ(Channel(8, 8, p, true, nullptr), plain);
}

TEST(ToneTableCurve, OnePointGivesTheParabolaThroughBothEnds) {
  double s[256];
  ASSERT_TRUE(CurveTable(WithCurve({{128, 200}}), s));
  // y = a x^2 + b x through (128, 200) and (255, 255).
  const double b = (200.0 * 65025.0 - 255.0 * 16384.0) / (128.0 * 65025.0 - 255.0 * 16384.0);
  const double a = (255.0 - 255.0 * b) / 65025.0;
  for (int x = 0; x < 256; ++x)
    EXPECT_NEAR(s[x], std::clamp(a * x * x + b * x, 0.0, 255.0), 1e-6) << x;
  const auto e = Channel(8, 8, WithCurve({{128, 200}}));
  EXPECT_NEAR(e[128], 200, 1);
  EXPECT_EQ(e[0], 0);
  EXPECT_NEAR(e[255], 255, 1);
}

TEST(ToneTableCurve, ValuesAreClampedToTheByteRange) {
  double s[256];
  ASSERT_TRUE(CurveTable(WithCurve({{30, 250}, {220, 5}}), s));
  for (double v : s) {
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 255.0);
  }
  EXPECT_EQ(s[100], 255.0);
}

TEST(ToneTableCurve, NoPointsMeansNoCurve) {
  double s[256];
  EXPECT_FALSE(CurveTable(NeutralEnhanceParam(), s));
}

TEST(ToneTableCurve, MoreThanTenPointsUseTheFirstTen) {
  EnhanceParam ten = NeutralEnhanceParam();
  for (int k = 0; k < 10; ++k) ten.CurvePoints[k] = {20 + 20 * k, 25 + 20 * k};
  ten.CurvePointCount = 10;
  EnhanceParam more = ten;
  for (int k = 10; k < 15; ++k) more.CurvePoints[k] = {240 - k, 3 * k};
  more.CurvePointCount = 12;
  EXPECT_EQ(Channel(8, 8, more), Channel(8, 8, ten));
  more.CurvePointCount = 200;  // above 15 counts as 15, then the first 10
  EXPECT_EQ(Channel(8, 8, more), Channel(8, 8, ten));
}

TEST(ToneTableCurve, IsDrawnOnTheByteScaleAtEveryDepth) {
  const EnhanceParam p = WithCurve({{64, 128}});
  const auto e8 = Channel(8, 8, p);
  const auto e16 = Channel(16, 16, p);
  const auto e6 = Channel(6, 6, p);
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(e16[i] >> 8, e8[i >> 8]) << i;
  for (int i = 0; i < 64; ++i) ASSERT_EQ(e6[i], e8[i << 2] >> 2) << i;
}

TEST(ToneTableCurve, RepeatedPointsStillGiveATableInRange) {
  // A singular system: the solver must not leave NaN in the table.
  const auto e = Channel(8, 8, WithCurve({{100, 50}, {100, 200}}));
  for (uint16_t v : e) EXPECT_LE(v, 255);
}

TEST(ToneTableProperties, EntriesStayBelowTheOutputRangeForAnyRecord) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> any16(-32768, 32767);
  std::uniform_int_distribution<int> bits(1, 16);
  for (int round = 0; round < 60; ++round) {
    EnhanceParam p{};
    p.Brightness = static_cast<int16_t>(any16(rng));
    p.Contrast = static_cast<int16_t>(any16(rng));
    p.Gamma = static_cast<int16_t>(any16(rng));
    p.scale = std::uniform_real_distribution<float>(-4.0f, 4.0f)(rng);
    p.InputLevelLow = static_cast<int16_t>(any16(rng));
    p.InputLevelHigh = static_cast<int16_t>(any16(rng));
    p.OutputLevelLow = static_cast<int16_t>(any16(rng));
    p.OutputLevelHigh = static_cast<int16_t>(any16(rng));
    p.CurvePointCount = static_cast<uint8_t>(rng() % 16);
    for (auto& pt : p.CurvePoints) pt = {any16(rng), any16(rng)};
    const int in = bits(rng) % 13 + 1;  // keep the run short
    const int out = bits(rng);
    const auto e = Channel(in, out, p);
    for (uint16_t v : e) ASSERT_LT(v, 1u << out) << "in " << in << " out " << out;
  }
  EnhanceParam odd = NeutralEnhanceParam();
  odd.scale = INFINITY;
  odd.Gamma = -3;
  for (uint16_t v : Channel(8, 8, odd)) EXPECT_LE(v, 255);
}

TEST(ToneTableProperties, UsualSettingsGiveRisingTables) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    EnhanceParam p = NeutralEnhanceParam();
    p.Brightness = static_cast<int16_t>(static_cast<int>(rng() % 255) - 127);
    p.Contrast = static_cast<int16_t>(static_cast<int>(rng() % 255) - 127);
    p.Gamma = static_cast<int16_t>(1 + rng() % 100);
    p.InputLevelLow = static_cast<int16_t>(rng() % 128);
    p.InputLevelHigh = static_cast<int16_t>(128 + rng() % 128);
    p.OutputLevelLow = static_cast<int16_t>(rng() % 128);
    p.OutputLevelHigh = static_cast<int16_t>(128 + rng() % 128);
    for (int bits : {8, 12}) {
      const auto e = Channel(bits, bits, p);
      for (std::size_t i = 1; i < e.size(); ++i) ASSERT_LE(e[i - 1], e[i]) << round;
    }
  }
}

TEST(ToneTableCreate, RefusesDepthsOutsideOneToSixteen) {
  const EnhanceParam p[3] = {NeutralEnhanceParam(), NeutralEnhanceParam(),
                             NeutralEnhanceParam()};
  for (auto [in, out] : {std::pair{0, 8}, {8, 0}, {17, 8}, {8, 17}, {-1, 8}, {8, -5}}) {
    EXPECT_EQ(CreateTable(in, out, p, 3, false, nullptr), nullptr);
    EXPECT_EQ(CreateTable(in, out, p, 1, false, nullptr), nullptr);
  }
  MappingTable* t = CreateTable(1, 16, p, 3, false, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->in, 1);
  EXPECT_EQ(t->out, 16);
  FreeTable(t);
  FreeTable(nullptr);
}

TEST(ToneTableCreate, ColourTableHoldsRedGreenBlueInThatOrder) {
  EnhanceParam p[3] = {NeutralEnhanceParam(), NeutralEnhanceParam(), NeutralEnhanceParam()};
  p[0].Brightness = 40;
  p[2].Contrast = -127;
  MappingTable* t = CreateTable(8, 8, p, 3, false, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(std::vector<uint16_t>(t->Entries, t->Entries + 256), Channel(8, 8, p[0]));
  EXPECT_EQ(std::vector<uint16_t>(t->Entries + 256, t->Entries + 512), Channel(8, 8, p[1]));
  EXPECT_EQ(std::vector<uint16_t>(t->Entries + 512, t->Entries + 768), Channel(8, 8, p[2]));
  FreeTable(t);
}

}  // namespace
}  // namespace tembra
