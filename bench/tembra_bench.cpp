// Tembra on an A4 300 dpi page (2480 x 3508), single-threaded: the time
// column is milliseconds per page, bytes_per_second the throughput over the
// page's bytes. Each iteration works on a fresh copy of the page (copied
// outside the timing), so in-place operations always see the same input.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/a4_page.h"
#include "tembra/tembra_core.h"

namespace {

using px::bench::kPageHeight;
using px::bench::kPageWidth;

const std::vector<uint8_t>& ColourPage() {
  static const std::vector<uint8_t> page = px::bench::MakeA4ColourPage();
  return page;
}

// 48-bit page: each 8-bit sample widened to 16 bits with low-order detail.
const std::vector<uint8_t>& Colour48Page() {
  static const std::vector<uint8_t> page = [] {
    const auto& src = ColourPage();
    std::vector<uint8_t> out(src.size() * 2);
    for (std::size_t i = 0; i < src.size(); ++i) {
      const uint16_t v = static_cast<uint16_t>(src[i] * 257 + (i * 37) % 200);
      std::memcpy(&out[2 * i], &v, 2);
    }
    return out;
  }();
  return page;
}

const std::vector<uint8_t>& GrayPage() {
  static const std::vector<uint8_t> page = [] {
    const auto& src = ColourPage();
    std::vector<uint8_t> out(src.size() / 3);
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = static_cast<uint8_t>((src[3 * i] * 3 + src[3 * i + 1] * 6 + src[3 * i + 2]) / 10);
    return out;
  }();
  return page;
}

// Settings a user might really choose, different per channel.
void UserSettings(EnhanceParam p[3]) {
  for (int c = 0; c < 3; ++c) p[c] = NeutralEnhanceParam();
  p[0].Brightness = 12;
  p[0].Contrast = 20;
  p[1].Gamma = 13;
  p[1].InputLevelLow = 10;
  p[1].InputLevelHigh = 240;
  p[2].Contrast = -15;
  p[2].OutputLevelLow = 8;
  p[2].CurvePointCount = 2;
  p[2].CurvePoints[0] = {64, 80};
  p[2].CurvePoints[1] = {192, 200};
}

template <class Work>
void OnFreshCopies(benchmark::State& state, const std::vector<uint8_t>& page, Work work) {
  std::vector<uint8_t> copy(page.size());
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(copy.data(), page.data(), page.size());
    state.ResumeTiming();
    work(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}

void ToneMap8Colour(benchmark::State& state) {
  EnhanceParam p[3];
  UserSettings(p);
  MappingTable* t = tembra::CreateTable(8, 8, p, 3, false, nullptr);
  OnFreshCopies(state, ColourPage(), [&](uint8_t* image) {
    tembra::MapColor(image, 8, kPageWidth, kPageHeight, 0, t);
  });
  tembra::FreeTable(t);
}

void ToneMap8ColourKernel(benchmark::State& state, tembra::Lut8Kernel kernel) {
  uint8_t tables[3][256];
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) tables[c][v] = static_cast<uint8_t>(255 - v + c);
  const uint8_t* pointers[3] = {tables[0], tables[1], tables[2]};
  OnFreshCopies(state, ColourPage(), [&](uint8_t* image) {
    kernel(image, ColourPage().size(), pointers, 3);
  });
}

void ToneMap16ColourPlainLoop(benchmark::State& state) {
  std::vector<uint16_t> direct(3 * 65536 + 2);
  for (std::size_t i = 0; i < direct.size(); ++i) direct[i] = static_cast<uint16_t>(65535 - i);
  OnFreshCopies(state, Colour48Page(), [&](uint8_t* image) {
    tembra::Lut16Plain(image, Colour48Page().size() / 2, direct.data(), 3);
  });
}

void ToneMap16Colour(benchmark::State& state) {
  EnhanceParam p[3];
  UserSettings(p);
  MappingTable* t = tembra::CreateTable(16, 16, p, 3, false, nullptr);
  OnFreshCopies(state, Colour48Page(), [&](uint8_t* image) {
    tembra::MapColor(image, 16, kPageWidth, kPageHeight, 0, t);
  });
  tembra::FreeTable(t);
}

void ToneMap8Gray(benchmark::State& state) {
  EnhanceParam p[3];
  UserSettings(p);
  MappingTable* t = tembra::CreateTable(8, 8, p, 1, false, nullptr);
  OnFreshCopies(state, GrayPage(), [&](uint8_t* image) {
    tembra::MapGray(image, 8, kPageWidth, kPageHeight, t);
  });
  tembra::FreeTable(t);
}

void HueSaturation(benchmark::State& state, tembra::HueSatKernel kernel) {
  if (kernel == nullptr) {
    state.SkipWithError("this processor lacks the loop asked for");
    return;
  }
  const std::size_t pixels = std::size_t(kPageWidth) * kPageHeight;
  OnFreshCopies(state, ColourPage(), [&](uint8_t* image) { kernel(image, pixels, 0, 30, 20); });
}

void HueSaturationExport(benchmark::State& state) {
  OnFreshCopies(state, ColourPage(), [&](uint8_t* image) {
    tembra::HueSaturation(image, kPageWidth, kPageHeight, 0, 30, 20);
  });
}

void AutoLevelColour(benchmark::State& state) {
  OnFreshCopies(state, ColourPage(), [&](uint8_t* image) {
    tembra::AutoLevelColor(image, kPageWidth, kPageHeight, 0);
  });
}

void AutoLevelGray(benchmark::State& state) {
  OnFreshCopies(state, GrayPage(), [&](uint8_t* image) {
    tembra::AutoLevelGray(image, kPageWidth, kPageHeight);
  });
}

// Building tables is not per page, but a 16-bit colour table is 3 x 65536
// entries with a power each: worth knowing what a scan pays for it.
void BuildTable16Colour(benchmark::State& state) {
  EnhanceParam p[3];
  UserSettings(p);
  for (auto _ : state) {
    MappingTable* t = tembra::CreateTable(16, 16, p, 3, false, nullptr);
    benchmark::DoNotOptimize(t);
    tembra::FreeTable(t);
  }
}

void Register() {
  auto add = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  add("ToneMap/colour8", ToneMap8Colour);
  add("ToneMap/colour16_48bit_page", ToneMap16Colour);
  add("ToneMap/gray8", ToneMap8Gray);
  add("HueSaturation/hue30_sat20", HueSaturationExport);
  add("AutoLevel/colour", AutoLevelColour);
  add("AutoLevel/gray", AutoLevelGray);
  // The loops behind the dispatch, for comparison.
  add("ToneMap/colour8/plain_loop",
      [](benchmark::State& s) { ToneMap8ColourKernel(s, &tembra::Lut8Plain); });
  add("ToneMap/colour8/pair_tables",
      [](benchmark::State& s) { ToneMap8ColourKernel(s, &tembra::Lut8Pairs); });
  add("ToneMap/colour16_48bit_page/plain_loop", ToneMap16ColourPlainLoop);
  add("HueSaturation/hue30_sat20/plain_loop",
      [](benchmark::State& s) { HueSaturation(s, &tembra::HueSatPlain); });
  add("HueSaturation/hue30_sat20/avx2",
      [](benchmark::State& s) { HueSaturation(s, tembra::HueSatAvx2()); });
  add("HueSaturation/hue30_sat20/avx512",
      [](benchmark::State& s) { HueSaturation(s, tembra::HueSatAvx512()); });
  add("BuildTable/colour16", BuildTable16Colour);
}

}  // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
