#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// The plain formula: one lookup per sample, index shifted by the depth
// difference and held at the table's last entry.
void ReferenceMap(uint8_t* image, int bits, int width, int height, int order,
                  const MappingTable& t, int channels) {
  const std::size_t n = std::size_t{1} << t.in;
  const std::size_t samples = std::size_t(width) * height * channels;
  for (std::size_t s = 0; s < samples; ++s) {
    const int position = static_cast<int>(s % channels);
    int channel = position;
    if (channels == 3 && order == 1) channel = 2 - position;
    const uint16_t* entries = t.Entries + channel * n;
    if (bits > 8) {
      uint16_t v;
      std::memcpy(&v, image + 2 * s, 2);
      std::size_t index = t.out >= t.in ? v >> (t.out - t.in) : v;
      if (index > n - 1) index = n - 1;
      v = entries[index];
      std::memcpy(image + 2 * s, &v, 2);
    } else {
      std::size_t index = t.in > t.out ? std::size_t{image[s]} << (t.in - t.out) : image[s];
      if (index > n - 1) index = n - 1;
      image[s] = static_cast<uint8_t>(entries[index] & 0xFF);
    }
  }
}

struct RandomTable {
  std::vector<uint16_t> entries;
  MappingTable table{};
  RandomTable(int in, int out, std::mt19937& rng) {
    entries.resize((std::size_t{1} << in) * 3);
    for (auto& e : entries) e = static_cast<uint16_t>(rng());
    table.in = static_cast<uint16_t>(in);
    table.out = static_cast<uint16_t>(out);
    table.Entries = entries.data();
  }
};

std::vector<uint8_t> RandomBytes(std::size_t n, std::mt19937& rng) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(MapTableAgreement, FastPathsMatchThePlainFormula) {
  std::mt19937 rng(3);
  for (int round = 0; round < 150; ++round) {
    const int in = 1 + rng() % 16;
    const int out = 1 + rng() % 16;
    RandomTable t(in, out, rng);
    const int bits = (rng() & 1) ? 16 : 8;
    const int width = 1 + rng() % 97;
    const int height = 1 + rng() % 7;
    const int order = static_cast<int>(rng() % 3);
    const bool colour = rng() & 1;
    const int channels = colour ? 3 : 1;
    auto image = RandomBytes(std::size_t(width) * height * channels * (bits / 8), rng);
    auto expected = image;
    ReferenceMap(expected.data(), bits, width, height, order, t.table, channels);
    const int result = colour ? MapColor(image.data(), bits, width, height, order, &t.table)
                              : MapGray(image.data(), bits, width, height, &t.table);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(image, expected) << "in " << in << " out " << out << " bits " << bits
                               << " width " << width << " colour " << colour;
  }
}

TEST(MapTableAgreement, ByteKernelsMatchThePlainLoopAtEveryLength) {
  std::mt19937 rng(5);
  uint8_t tables[3][256];
  for (auto& t : tables)
    for (auto& v : t) v = static_cast<uint8_t>(rng());
  const uint8_t* pointers[3] = {tables[0], tables[1], tables[2]};
  std::vector<Lut8Kernel> kernels = {Lut8Best(), &Lut8Pairs};
  if (Lut8Kernel k = Lut8Vbmi()) kernels.push_back(k);
  std::vector<std::size_t> counts;
  for (std::size_t count = 0; count < 700; count += 1 + count / 16) counts.push_back(count);
  counts.push_back((std::size_t{1} << 20) + 7);  // a page-sized run
  for (std::size_t count : counts) {
    for (int channels : {1, 3}) {
      const auto source = RandomBytes(count, rng);
      auto expected = source;
      for (std::size_t i = 0; i < count; ++i)
        expected[i] = tables[channels == 3 ? i % 3 : 0][expected[i]];
      auto plain = source;
      Lut8Plain(plain.data(), count, pointers, channels);
      ASSERT_EQ(plain, expected);
      for (Lut8Kernel k : kernels) {
        auto fast = source;
        k(fast.data(), count, pointers, channels);
        ASSERT_EQ(fast, expected) << count << " " << channels;
      }
    }
  }
}

TEST(MapTableAgreement, SixteenBitKernelsMatchThePlainLoopAtAnyOffset) {
  std::mt19937 rng(15);
  std::vector<uint16_t> direct(3 * 65536 + 2);
  for (auto& v : direct) v = static_cast<uint16_t>(rng());
  std::vector<Lut16Kernel> kernels = {Lut16Best()};
  if (Lut16Kernel k = Lut16Avx512()) kernels.push_back(k);
  for (std::size_t count = 0; count < 300; count += 1 + count / 10) {
    for (int channels : {1, 3}) {
      for (std::size_t offset : {0, 1}) {  // 16-bit samples need not be aligned
        auto source = RandomBytes(2 * count + offset, rng);
        auto expected = source;
        for (std::size_t i = 0; i < count; ++i) {
          uint16_t v;
          std::memcpy(&v, &expected[offset + 2 * i], 2);
          v = direct[(channels == 3 ? i % 3 : 0) * 65536 + v];
          std::memcpy(&expected[offset + 2 * i], &v, 2);
        }
        auto plain = source;
        Lut16Plain(plain.data() + offset, count, direct.data(), channels);
        ASSERT_EQ(plain, expected);
        for (Lut16Kernel k : kernels) {
          auto fast = source;
          k(fast.data() + offset, count, direct.data(), channels);
          ASSERT_EQ(fast, expected) << count << " " << channels << " " << offset;
        }
      }
    }
  }
}

TEST(MapTableProperties, IdentityTablesLeaveImagesUnchanged) {
  std::mt19937 rng(9);
  const EnhanceParam p[3] = {NeutralEnhanceParam(), NeutralEnhanceParam(),
                             NeutralEnhanceParam()};
  for (int bits : {8, 16}) {
    MappingTable* colour = CreateTable(bits, bits, p, 3, false, nullptr);
    MappingTable* gray = CreateTable(bits, bits, p, 1, false, nullptr);
    ASSERT_TRUE(colour && gray);
    const auto source = RandomBytes(31 * 5 * 3 * (bits / 8), rng);
    auto image = source;
    EXPECT_EQ(MapColor(image.data(), bits, 31, 5, 0, colour), 1);
    EXPECT_EQ(image, source);
    EXPECT_EQ(MapColor(image.data(), bits, 31, 5, 1, colour), 1);
    EXPECT_EQ(image, source);
    EXPECT_EQ(MapGray(image.data(), bits, 93, 5, gray), 1);
    EXPECT_EQ(image, source);
    FreeTable(colour);
    FreeTable(gray);
  }
}

TEST(MapTableProperties, InvertingTwiceGivesTheImageBack) {
  std::mt19937 rng(13);
  for (int bits : {8, 16}) {
    const std::size_t n = std::size_t{1} << bits;
    std::vector<uint16_t> entries(3 * n);
    for (std::size_t i = 0; i < entries.size(); ++i)
      entries[i] = static_cast<uint16_t>(n - 1 - i % n);
    MappingTable invert{static_cast<uint16_t>(bits), static_cast<uint16_t>(bits), entries.data()};
    const auto source = RandomBytes(17 * 9 * 3 * (bits / 8), rng);
    auto image = source;
    ASSERT_EQ(MapColor(image.data(), bits, 17, 9, 1, &invert), 1);
    EXPECT_NE(image, source);
    EXPECT_EQ(image[0], static_cast<uint8_t>(~source[0]));
    ASSERT_EQ(MapColor(image.data(), bits, 17, 9, 1, &invert), 1);
    EXPECT_EQ(image, source);
  }
}

TEST(MapTableOrder, OrderOneUsesBlueEntriesForTheFirstSample) {
  std::vector<uint16_t> entries(3 * 256);
  for (int i = 0; i < 256; ++i) {
    entries[i] = 10;        // red
    entries[256 + i] = 20;  // green
    entries[512 + i] = 30;  // blue
  }
  MappingTable t{8, 8, entries.data()};
  uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(MapColor(rgb, 8, 2, 1, 0, &t), 1);
  EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 6), (std::vector<uint8_t>{10, 20, 30, 10, 20, 30}));
  uint8_t bgr[3] = {1, 2, 3};
  ASSERT_EQ(MapColor(bgr, 8, 1, 1, 1, &t), 1);
  EXPECT_EQ(std::vector<uint8_t>(bgr, bgr + 3), (std::vector<uint8_t>{30, 20, 10}));
  uint8_t other[3] = {1, 2, 3};
  ASSERT_EQ(MapColor(other, 8, 1, 1, 7, &t), 1);
  EXPECT_EQ(other[0], 10);
}

TEST(MapTableDepths, IndicesPastTheTableUseItsLastEntry) {
  // 16-bit data through a 12-bit table.
  std::vector<uint16_t> entries(4096);
  for (int i = 0; i < 4096; ++i) entries[i] = static_cast<uint16_t>(i + 1);
  MappingTable t12{12, 12, entries.data()};
  uint16_t samples[3] = {4095, 4096, 65535};
  ASSERT_EQ(MapGray(samples, 16, 3, 1, &t12), 1);
  EXPECT_EQ(samples[0], 4096);
  EXPECT_EQ(samples[1], 4096);
  EXPECT_EQ(samples[2], 4096);
  // 8-bit data through a 16-in, 4-out table: the index is value << 12.
  std::vector<uint16_t> wide(65536);
  for (int i = 0; i < 65536; ++i) wide[i] = static_cast<uint16_t>(i >> 8);
  MappingTable t16{16, 4, wide.data()};
  uint8_t bytes[3] = {0, 15, 255};
  ASSERT_EQ(MapGray(bytes, 8, 3, 1, &t16), 1);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[1], (15 << 12) >> 8);
  EXPECT_EQ(bytes[2], 255);
}

TEST(MapTableFailures, MissingOrAbsurdInputsChangeNothing) {
  std::vector<uint16_t> entries(3 * 256, 7);
  MappingTable good{8, 8, entries.data()};
  MappingTable noEntries{8, 8, nullptr};
  MappingTable badIn{0, 8, entries.data()};
  MappingTable badOut{8, 17, entries.data()};
  std::vector<uint8_t> image(64 * 3, 99);
  const auto before = image;
  EXPECT_EQ(MapColor(nullptr, 8, 4, 4, 0, &good), 0);
  EXPECT_EQ(MapColor(image.data(), 8, 4, 4, 0, nullptr), 0);
  EXPECT_EQ(MapColor(image.data(), 8, 4, 4, 0, &noEntries), 0);
  EXPECT_EQ(MapColor(image.data(), 8, 4, 4, 0, &badIn), 0);
  EXPECT_EQ(MapColor(image.data(), 8, 4, 4, 0, &badOut), 0);
  for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {-4, 4}, {4, -1}, {INT32_MAX, INT32_MAX}}) {
    EXPECT_EQ(MapColor(image.data(), 8, w, h, 0, &good), 0);
    EXPECT_EQ(MapGray(image.data(), 16, w, h, &good), 0);
  }
  EXPECT_EQ(MapGray(nullptr, 8, 4, 4, &good), 0);
  EXPECT_EQ(MapGray(image.data(), 8, 4, 4, nullptr), 0);
  EXPECT_EQ(image, before);
}

}  // namespace
}  // namespace tembra
