// The library's loops (plain and AVX2) against the plain reference, byte for
// byte, on random images, sizes, modes and filter numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter/filter_core.h"
#include "filter/filter_reference.h"

namespace px::filter {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Either noise, or a random walk: sharpen's threshold and the median only
// show their branches on images with gentle steps.
Bytes RandomImage(std::mt19937& rng, std::size_t bytes, bool smooth) {
  Bytes image(bytes);
  std::uniform_int_distribution<int> any(0, 255);
  std::uniform_int_distribution<int> small(-12, 12);
  int v = any(rng);
  for (auto& b : image) {
    v = smooth ? std::clamp(v + small(rng), 0, 255) : any(rng);
    b = static_cast<std::uint8_t>(v);
  }
  return image;
}

class Agreement : public ::testing::TestWithParam<Cpu> {
 protected:
  void SetUp() override {
    if (GetParam() == Cpu::kAvx2 && !CpuHasAvx2()) GTEST_SKIP() << "no AVX2 here";
    saved_ = ActiveCpu();
    ASSERT_EQ(SelectCpu(GetParam()), GetParam());
  }
  void TearDown() override { SelectCpu(saved_); }

  static void Check(int number, int mode, int rows, int rowLength, std::mt19937& rng,
                    bool smooth) {
    const std::size_t bytes = static_cast<std::size_t>(rows) * static_cast<std::size_t>(rowLength);
    Bytes expected = RandomImage(rng, bytes, smooth);
    // Guard bytes around the image catch writes outside it.
    Bytes actual(bytes + 64, 0xA5);
    std::copy(expected.begin(), expected.end(), actual.begin() + 32);
    reference::Apply(number, expected, mode, rows, rowLength);
    EXPECT_EQ(RunFilter(number, actual.data() + 32, mode, rows, rowLength), 1);
    for (int i = 0; i < 32; ++i) {
      ASSERT_EQ(actual[static_cast<std::size_t>(i)], 0xA5);
      ASSERT_EQ(actual[bytes + 32 + static_cast<std::size_t>(i)], 0xA5);
    }
    const Bytes got(actual.begin() + 32, actual.begin() + 32 + static_cast<std::ptrdiff_t>(bytes));
    ASSERT_EQ(got, expected) << "filter " << number << " mode " << mode << " rows " << rows
                             << " row length " << rowLength << (smooth ? " smooth" : " noise");
  }

 private:
  Cpu saved_ = Cpu::kScalar;
};

TEST_P(Agreement, EveryFilterOnSmallRandomImages) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> rowsOf(1, 7);
  std::uniform_int_distribution<int> lengthOf(1, 40);
  for (int number : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 18, 19, 20, 21}) {
    for (int mode = 0; mode <= 3; ++mode) {
      for (int i = 0; i < 12; ++i) {
        Check(number, mode, rowsOf(rng), lengthOf(rng), rng, i % 2 == 0);
      }
    }
  }
}

// Rows long enough for the wide loops, with lengths around their block sizes
// and with colour rows that end in a partial pixel.
TEST_P(Agreement, EveryFilterOnWideRandomImages) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> rowsOf(1, 9);
  std::uniform_int_distribution<int> lengthOf(60, 700);
  for (int number : {1, 2, 3, 4, 5, 6, 7, 8, 16, 17, 18, 19, 20}) {
    for (int mode = 0; mode <= 2; ++mode) {
      for (int i = 0; i < 6; ++i) {
        Check(number, mode, rowsOf(rng), lengthOf(rng), rng, i % 2 == 1);
      }
      for (int length : {31, 32, 33, 34, 35, 38, 39, 40, 41, 66, 67, 68}) {
        Check(number, mode, 3, length, rng, false);
      }
    }
  }
}

// Enough rows for loops that work on bands of rows side by side, with a
// partial band at the end.
TEST_P(Agreement, EveryFilterOnTallRandomImages) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> rowsOf(16, 50);
  std::uniform_int_distribution<int> lengthOf(1, 150);
  for (int number : {1, 2, 3, 5, 6, 7, 8, 17, 19, 20}) {
    for (int mode = 0; mode <= 2; ++mode) {
      for (int i = 0; i < 6; ++i) Check(number, mode, rowsOf(rng), lengthOf(rng), rng, i % 3 != 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Loops, Agreement, ::testing::Values(Cpu::kScalar, Cpu::kAvx2),
                         [](const ::testing::TestParamInfo<Cpu>& info) {
                           return std::string(info.param == Cpu::kAvx2 ? "Avx2" : "Scalar");
                         });

}  // namespace
}  // namespace px::filter
