// Differential fuzzing of the filters: arbitrary numbers, modes, sizes and
// pixels through the library's loops (plain and AVX2) and through the plain
// reference; any difference, or any access outside the image, is a finding.
// Images are capped small so each input runs fast.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "filter/filter_core.h"
#include "filter/filter_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const int number = static_cast<int8_t>(data[0]) % 24;
  const int mode = data[1] % 4;
  const int rows = 1 + data[2] % 40;
  const int rowLength = 1 + (data[3] | (data[4] << 8)) % 300;
  const bool avx2 = data[5] & 1;
  data += 6;
  size -= 6;
  const std::size_t bytes = static_cast<std::size_t>(rows) * static_cast<std::size_t>(rowLength);
  std::vector<std::uint8_t> expected(bytes);
  for (std::size_t i = 0; i < bytes; ++i) expected[i] = size ? data[i % size] : 0;
  // An exact-size heap copy, so the sanitizer sees any byte outside it.
  std::unique_ptr<std::uint8_t[]> actual(new std::uint8_t[bytes]);
  std::memcpy(actual.get(), expected.data(), bytes);

  px::filter::SelectCpu(avx2 ? px::filter::Cpu::kAvx2 : px::filter::Cpu::kScalar);
  if (px::filter::RunFilter(number, actual.get(), mode, rows, rowLength) != 1) __builtin_trap();
  px::filter::reference::Apply(number, expected, mode, rows, rowLength);
  if (std::memcmp(actual.get(), expected.data(), bytes) != 0) __builtin_trap();
  return 0;
}
