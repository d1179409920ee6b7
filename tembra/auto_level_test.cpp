#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// The rule written out plainly: sampled histograms, 0.5 % thresholds, tables.
void ReferenceAutoLevel(std::vector<uint8_t>& image, int width, int height, int channels) {
  unsigned long long k = 1, n = 1ull * width * height;
  while (n > 16777216ull) {
    k *= 2;
    n /= 4;
  }
  std::vector<std::vector<unsigned long long>> hist(channels,
                                                    std::vector<unsigned long long>(256));
  for (unsigned long long y = 0; y < static_cast<unsigned long long>(height); y += k)
    for (unsigned long long x = 0; x < static_cast<unsigned long long>(width); x += k)
      for (int c = 0; c < channels; ++c) ++hist[c][image[(y * width + x) * channels + c]];
  const unsigned long long t = static_cast<unsigned long long>(
      static_cast<float>(1ull * width * height / (k * k)) * 0.005f);
  std::vector<std::vector<int>> table(channels, std::vector<int>(256));
  for (int c = 0; c < channels; ++c) {
    int low = 0, high = 255;
    unsigned long long count = 0;
    for (int v = 0; v < 256; ++v)
      if ((count += hist[c][v]) >= t) {
        low = v;
        break;
      }
    count = 0;
    for (int v = 255; v > low; --v)
      if ((count += hist[c][v]) >= t) {
        high = v;
        break;
      }
    for (int i = 0; i < 256; ++i)
      table[c][i] = low == high ? i
                    : i <= low  ? 0
                    : i >= high ? 255
                                : static_cast<int>((i - low) * 255 / static_cast<float>(high - low) + 0.5f);
  }
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>(table[i % channels][image[i]]);
}

// A page-like picture: a light background with darker strokes and noise.
std::vector<uint8_t> Page(int width, int height, int channels, std::mt19937& rng) {
  std::vector<uint8_t> image(std::size_t(width) * height * channels);
  std::uniform_int_distribution<int> noise(-12, 12);
  for (std::size_t i = 0; i < image.size(); ++i) {
    const int base = (i / channels) % 37 < 5 ? 40 : 200 + 10 * static_cast<int>(i % channels);
    image[i] = static_cast<uint8_t>(std::clamp(base + noise(rng), 0, 255));
  }
  return image;
}

TEST(AutoLevelAgreement, MatchesThePlainRuleOnRandomPages) {
  std::mt19937 rng(12);
  for (int round = 0; round < 30; ++round) {
    const int width = 1 + rng() % 400, height = 1 + rng() % 300;
    for (int channels : {1, 3}) {
      auto image = Page(width, height, channels, rng);
      if (round % 3 == 0)
        for (auto& v : image) v = static_cast<uint8_t>(rng());
      auto expected = image;
      ReferenceAutoLevel(expected, width, height, channels);
      const int result = channels == 3 ? AutoLevelColor(image.data(), width, height, round % 2)
                                       : AutoLevelGray(image.data(), width, height);
      ASSERT_EQ(result, 1);
      ASSERT_EQ(image, expected) << width << "x" << height << " channels " << channels;
    }
  }
}

TEST(AutoLevelAgreement, LargePagesAreSampledEverySecondPixel) {
  // 4100 x 4100 is above 2^24 pixels, so the histogram sees every second
  // pixel of every second row; odd rows and columns hold values it must miss.
  const int side = 4100;
  std::vector<uint8_t> image(std::size_t(side) * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      image[std::size_t(y) * side + x] =
          (y % 2 || x % 2) ? 0 : static_cast<uint8_t>(100 + (x * 7 + y * 3) % 50);
  auto expected = image;
  ReferenceAutoLevel(expected, side, side, 1);
  ASSERT_EQ(AutoLevelGray(image.data(), side, side), 1);
  EXPECT_EQ(image, expected);
  // The unsampled zeros did not pull the black point down to 0: the darkest
  // sampled value, 100 at (0, 0), became black.
  EXPECT_EQ(image[0], 0);
}

TEST(AutoLevelEdges, TinyImagesStayUnchanged) {
  std::mt19937 rng(2);
  std::vector<uint8_t> image(199);
  for (auto& v : image) v = static_cast<uint8_t>(rng());
  const auto before = image;
  EXPECT_EQ(AutoLevelGray(image.data(), 199, 1), 1);
  EXPECT_EQ(image, before);
}

TEST(AutoLevelEdges, FlatImagesGoBlackUnlessWhite) {
  for (int v : {0, 1, 128, 254}) {
    std::vector<uint8_t> image(300 * 3, static_cast<uint8_t>(v));
    EXPECT_EQ(AutoLevelColor(image.data(), 300, 1, 0), 1);
    for (uint8_t x : image) ASSERT_EQ(x, 0) << v;
  }
  std::vector<uint8_t> white(300, 255);
  EXPECT_EQ(AutoLevelGray(white.data(), 300, 1), 1);
  for (uint8_t x : white) ASSERT_EQ(x, 255);
}

TEST(AutoLevelEdges, YellowCastStretchesBlueMost) {
  const int width = 300, height = 100;
  std::vector<uint8_t> image(std::size_t(width) * height * 3);
  for (std::size_t i = 0; i < image.size(); i += 3) {
    const int level = static_cast<int>((i / 3) % 150);
    image[i] = image[i + 1] = static_cast<uint8_t>(100 + level * 2 / 3);  // 100..199
    image[i + 2] = static_cast<uint8_t>(40 + level / 3);                   // 40..89
  }
  const auto before = image;
  ASSERT_EQ(AutoLevelColor(image.data(), width, height, 0), 1);
  // Two pixels of levels 30 and 120: how far apart each channel moved them.
  auto gain = [&](int c) {
    const std::size_t a = 3 * 30 + c, b = 3 * 120 + c;
    return double(image[b] - image[a]) / double(before[b] - before[a]);
  };
  EXPECT_GT(gain(2), 1.5 * gain(0));
  EXPECT_EQ(gain(0), gain(1));
}

TEST(AutoLevelFailures, MissingImageOrSizeChangesNothing) {
  std::vector<uint8_t> image(300, 50);
  const auto before = image;
  EXPECT_EQ(AutoLevelGray(nullptr, 10, 10), 0);
  EXPECT_EQ(AutoLevelColor(nullptr, 10, 10, 0), 0);
  for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-10, 10}, {10, -1}, {INT32_MAX, INT32_MAX}}) {
    EXPECT_EQ(AutoLevelGray(image.data(), w, h), 0);
    EXPECT_EQ(AutoLevelColor(image.data(), w, h, 1), 0);
  }
  EXPECT_EQ(image, before);
}

}  // namespace
}  // namespace tembra
