// Behaviour of the individual filters on tiny images whose results can be
// worked out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "filter/filter_core.h"

namespace px::filter {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Apply(int number, Bytes image, int mode, int rows, int rowLength) {
  EXPECT_EQ(RunFilter(number, image.data(), mode, rows, rowLength), 1);
  return image;
}

Bytes Noise(std::size_t bytes, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> any(0, 255);
  Bytes image(bytes);
  for (auto& b : image) b = static_cast<std::uint8_t>(any(rng));
  return image;
}

const int kKernelFilters[] = {3, 4, 8, 16, 17, 18, 19, 20};

// ---- arguments ------------------------------------------------------------

TEST(FilterArguments, BadImagesChangeNothingAndStillAnswerOne) {
  Bytes image = Noise(24, 1);
  const Bytes before = image;
  for (int number : {1, 2, 3, 5, 7, 19}) {
    EXPECT_EQ(RunFilter(number, nullptr, 1, 4, 6), 1);
    EXPECT_EQ(RunFilter(number, image.data(), 1, 0, 6), 1);
    EXPECT_EQ(RunFilter(number, image.data(), 1, -4, 6), 1);
    EXPECT_EQ(RunFilter(number, image.data(), 1, 4, 0), 1);
    EXPECT_EQ(RunFilter(number, image.data(), 1, 4, -6), 1);
  }
  EXPECT_EQ(image, before);
}

TEST(FilterArguments, UnknownNumbersAndUnhandledModesChangeNothing) {
  const Bytes image = Noise(4 * 12, 2);
  for (int number : {0, 9, 10, 15, 21, 100, -1, -3}) {
    for (int mode = 0; mode <= 3; ++mode) EXPECT_EQ(Apply(number, image, mode, 4, 12), image);
  }
  // Only invert and flip know 1-bit rows; only invert takes any mode.
  for (int number : {3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20}) {
    EXPECT_EQ(Apply(number, image, 0, 4, 12), image) << number;
    EXPECT_EQ(Apply(number, image, 3, 4, 12), image) << number;
    EXPECT_EQ(Apply(number, image, -1, 4, 12), image) << number;
  }
  EXPECT_EQ(Apply(2, image, 3, 4, 12), image);
  EXPECT_NE(Apply(1, image, 7, 4, 12), image);
}

TEST(FilterArguments, NumberAndModeCountAsSixteenBitValues) {
  const Bytes image = Noise(5 * 9, 3);
  EXPECT_EQ(Apply(0x10000 + 3, image, 0x20000 + 2, 5, 9), Apply(3, image, 2, 5, 9));
  EXPECT_EQ(Apply(0x70000 + 1, image, 1, 5, 9), Apply(1, image, 1, 5, 9));
  // 0x10002 is flip.
  EXPECT_NE(Apply(0x10002, image, 1, 5, 9), image);
}

TEST(FilterArguments, ColourRowsUseTheirWholePixelsOnly) {
  // 7 bytes: two pixels and one stray byte that no filter but invert touches.
  for (int number : {2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20}) {
    Bytes image = Noise(3 * 7, 4);
    const Bytes after = Apply(number, image, 2, 3, 7);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(after[y * 7 + 6], image[y * 7 + 6]) << number;
  }
  // A colour row shorter than one pixel has nothing to filter.
  const Bytes tiny = Noise(4 * 2, 5);
  for (int number : {2, 3, 5, 7, 19, 20}) EXPECT_EQ(Apply(number, tiny, 2, 4, 2), tiny);
}

// ---- invert and flip -------------------------------------------------------

TEST(InvertAndFlip, InvertComplementsEveryByteAndTwiceRestores) {
  const Bytes image = Noise(5 * 7, 6);
  const Bytes once = Apply(1, image, 2, 5, 7);
  for (std::size_t i = 0; i < image.size(); ++i) EXPECT_EQ(once[i], 255 - image[i]);
  EXPECT_EQ(Apply(1, once, 2, 5, 7), image);
}

TEST(InvertAndFlip, GrayRowWithEvenPixelCountReversesCompletely) {
  const Bytes image = {1, 2, 3, 4, 5, 6, 10, 20, 30, 40, 50, 60};
  const Bytes expected = {6, 5, 4, 3, 2, 1, 60, 50, 40, 30, 20, 10};
  EXPECT_EQ(Apply(2, image, 1, 2, 6), expected);
}

TEST(InvertAndFlip, ColourKeepsByteOrderInsideEachPixel) {
  const Bytes image = {1, 2, 3, 4, 5, 6, 7, 8, 9, 99};
  const Bytes expected = {7, 8, 9, 4, 5, 6, 1, 2, 3, 99};
  EXPECT_EQ(Apply(2, image, 2, 1, 10), expected);
}

TEST(InvertAndFlip, OneBitRowsReverseBytesAndBits) {
  const Bytes image = {0x80, 0x03, 0xF0};
  const Bytes expected = {0x0F, 0xC0, 0x01};
  EXPECT_EQ(Apply(2, image, 0, 1, 3), expected);
}

TEST(InvertAndFlip, FlipTwiceRestoresInEveryMode) {
  for (int mode = 0; mode <= 2; ++mode) {
    for (int length : {1, 5, 6, 13}) {
      const Bytes image = Noise(3 * static_cast<std::size_t>(length), 7);
      EXPECT_EQ(Apply(2, Apply(2, image, mode, 3, length), mode, 3, length), image);
    }
  }
}

// ---- kernel filters --------------------------------------------------------

TEST(KernelFilters, UniformImagesStayUniform) {
  for (int number : kKernelFilters) {
    for (int mode : {1, 2}) {
      for (std::uint8_t value : {0, 1, 77, 128, 254, 255}) {
        const Bytes image(5 * 12, value);
        EXPECT_EQ(Apply(number, image, mode, 5, 12), image) << number << " " << int(value);
      }
    }
  }
}

TEST(KernelFilters, BlurWeightsCornersFiveEdgesThreeCentreOne) {
  // One bright pixel of 66 in the middle of a 3 x 3 gray image: every pixel
  // sees it once, with the weight of its place relative to it, over 33.
  Bytes image(9, 0);
  image[4] = 66;
  const Bytes expected = {10, 6, 10, 6, 2, 6, 10, 6, 10};
  EXPECT_EQ(Apply(3, image, 1, 3, 3), expected);
}

TEST(KernelFilters, SingleRowIsItsOwnUpperAndLowerNeighbour) {
  // Row [0, 33]: pixel 0 sees 33 as its right neighbour in all three rows
  // (corner 5 + edge 3 + corner 5 = 13); pixel 1 sees it in the middle
  // column (3 + 1 + 3) and, repeated, in the right one (5 + 3 + 5): 20.
  EXPECT_EQ(Apply(3, Bytes{0, 33}, 1, 1, 2), (Bytes{13, 20}));
}

TEST(KernelFilters, RowsAboveComeUnfilteredFromThePreviousRowBuffer) {
  // Smooth on a one-pixel column [0, 33]: row 0 = 3 x 33 / 9 = 11; row 1
  // must see the old 0 above it (6 x 33 / 9 = 22), not the new 11.
  EXPECT_EQ(Apply(17, Bytes{0, 33}, 1, 2, 1), (Bytes{11, 22}));
  // And row 0 sees row 1 before row 1 is filtered.
  EXPECT_EQ(Apply(17, Bytes{33, 0}, 1, 2, 1), (Bytes{22, 11}));
}

TEST(KernelFilters, ResultsAreTruncatedNotRounded) {
  // Single row [0, 0, 10] smoothed: (10 x 3) / 9 = 3.33 and (20 x 3) / 9 = 6.67.
  EXPECT_EQ(Apply(17, Bytes{0, 0, 10}, 1, 1, 3), (Bytes{0, 3, 6}));
}

TEST(KernelFilters, UnsharpMaskClampsBothWays) {
  Bytes image(9, 0);
  image[4] = 255;
  // Centre: 29 x 255 / 5 > 255; the others get a negative sum, clamped to 0.
  Bytes expected(9, 0);
  expected[4] = 255;
  EXPECT_EQ(Apply(8, image, 1, 3, 3), expected);
}

TEST(KernelFilters, ColourChannelsAreFilteredSeparately) {
  // Channel 1 alone carries a pattern; the other two stay flat.
  Bytes image(3 * 9, 50);
  for (int p = 0; p < 9; ++p) image[3 * p + 1] = static_cast<std::uint8_t>(p * 20);
  for (int number : kKernelFilters) {
    const Bytes out = Apply(number, image, 2, 3, 9);
    for (int p = 0; p < 9; ++p) {
      EXPECT_EQ(out[3 * p], 50) << number;
      EXPECT_EQ(out[3 * p + 2], 50) << number;
    }
  }
}

TEST(KernelFilters, TwiceMeansTheSameFilterTwice) {
  const Bytes image = Noise(6 * 15, 8);
  EXPECT_EQ(Apply(4, image, 2, 6, 15), Apply(3, Apply(3, image, 2, 6, 15), 2, 6, 15));
  EXPECT_EQ(Apply(18, image, 1, 6, 15), Apply(17, Apply(16, image, 1, 6, 15), 1, 6, 15));
  EXPECT_EQ(Apply(6, image, 1, 6, 15), Apply(5, Apply(5, image, 1, 6, 15), 1, 6, 15));
}

TEST(KernelFilters, DescreenEndsWithAnUndividedUnsharpMask) {
  // Single row [0, 0, 70]. Low pass (corners 1, centre 3, over 7): [0, 20, 50].
  // Median of three copies of each neighbourhood: unchanged. Unsharp mask:
  // v + 2 x (v - (left + right + 2 v) / 4) = 2 v - (left + right) / 2,
  // giving [0, 15, 65].
  EXPECT_EQ(Apply(19, Bytes{0, 0, 70}, 1, 1, 3), (Bytes{0, 15, 65}));
}

// ---- sharpen ---------------------------------------------------------------

TEST(Sharpen, SmallDifferencesAreSharpenedLargeOnesLeftAlone) {
  // 3 x 110 - 200 = 130, 20 away: replaced. 3 x 120 - 200 = 160, 40 away: kept.
  EXPECT_EQ(Apply(5, Bytes{100, 110, 100}, 1, 1, 3), (Bytes{100, 130, 100}));
  EXPECT_EQ(Apply(5, Bytes{100, 120, 100}, 1, 1, 3), (Bytes{100, 120, 100}));
  // Exactly 25 away still counts.
  EXPECT_EQ(Apply(5, Bytes{100, 125, 125}, 1, 1, 3), (Bytes{100, 150, 125}));
}

TEST(Sharpen, LeftNeighbourIsAlreadySharpened) {
  // Pixel 1 becomes 120; pixel 2 then sees 120 on its left: 330 - 220 = 110.
  EXPECT_EQ(Apply(5, Bytes{100, 110, 110, 100}, 1, 1, 4), (Bytes{100, 120, 110, 100}));
}

TEST(Sharpen, ColourBytesAreTriedOnlyAfterTheOneBeforeWasReplaced) {
  // First byte too far off: the other two are not even tried.
  EXPECT_EQ(Apply(5, Bytes{100, 100, 100, 140, 110, 110, 100, 100, 100}, 2, 1, 9),
            (Bytes{100, 100, 100, 140, 110, 110, 100, 100, 100}));
  // First replaced, second too far: the third stays.
  EXPECT_EQ(Apply(5, Bytes{100, 100, 100, 100, 140, 110, 100, 100, 100}, 2, 1, 9),
            (Bytes{100, 100, 100, 100, 140, 110, 100, 100, 100}));
  // All three within reach.
  EXPECT_EQ(Apply(5, Bytes{100, 100, 100, 100, 110, 105, 100, 100, 100}, 2, 1, 9),
            (Bytes{100, 100, 100, 100, 130, 115, 100, 100, 100}));
}

TEST(Sharpen, FirstAndLastPixelsAndShortRowsStay) {
  EXPECT_EQ(Apply(5, Bytes{10, 12}, 1, 1, 2), (Bytes{10, 12}));
  const Bytes image = {10, 11, 12, 13, 14, 15};
  const Bytes out = Apply(5, image, 1, 1, 6);
  EXPECT_EQ(out.front(), 10);
  EXPECT_EQ(out.back(), 15);
}

// ---- emboss ----------------------------------------------------------------

TEST(Emboss, UniformImageBecomesMidGray) {
  for (int mode : {1, 2}) {
    EXPECT_EQ(Apply(7, Bytes(4 * 6, 93), mode, 4, 6), Bytes(4 * 6, 128));
  }
}

TEST(Emboss, DifferenceToTheRowBelowIsShiftedAndClamped) {
  // Column of one pixel: 200-10 >= 128, 10-200 < -128, 100-50, 177-50 = 127,
  // 50-178 = -128, 51-178 = -127.
  const Bytes column = {200, 10, 200, 100, 50, 177, 50, 50, 178, 51, 178, 0};
  const Bytes out = Apply(7, column, 1, 12, 1);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[3], 178);
  EXPECT_EQ(out[5], 255);
  EXPECT_EQ(out[7], 0);
  EXPECT_EQ(out[9], 1);
}

TEST(Emboss, LastRowCopiesTheEmbossedRowAboveIt) {
  const Bytes image = {10, 200, 90, 60, 40, 5};
  // Row 0: 10-90 -> 48, 200-60 -> 255; row 1: 90-40 -> 178, 60-5 -> 183;
  // row 2 copies row 1 as embossed.
  EXPECT_EQ(Apply(7, image, 1, 3, 2), (Bytes{48, 255, 178, 183, 178, 183}));
}

TEST(Emboss, SingleRowUsesTheRightNeighbourAndEndsMidGray) {
  EXPECT_EQ(Apply(7, Bytes{50, 30, 200}, 1, 1, 3), (Bytes{148, 0, 128}));
  EXPECT_EQ(Apply(7, Bytes{50, 60, 70, 30, 60, 200, 9}, 2, 1, 7),
            (Bytes{148, 128, 0, 128, 128, 128, 9}));
  EXPECT_EQ(Apply(7, Bytes{77}, 1, 1, 1), (Bytes{128}));
}

}  // namespace
}  // namespace px::filter
