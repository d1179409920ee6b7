// ColorMatch per page, through the library's exports, with Sepcal.ini.
// Run with PX_BIN_DIR set to the bin folder (or from a build's bench folder).
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/a4_page.h"
#include "interfaces/colormatch_api.h"
#include "platform/module.h"

namespace {

std::string BinFolder() {
  const char* bin = std::getenv("PX_BIN_DIR");
  return bin ? bin : px::ExecutableFolder() + "/../bin";
}

ColorMatchApi* Library() {
  static px::Module module;
  static ColorMatchApi api;
  static bool bound = module.Load(px::LibraryPath(BinFolder(), "ColorMatch")) && module.BindAll(api) &&
                      api.SetColorMatchFileName((BinFolder() + "/Sepcal.ini").c_str()) == 1;
  return bound ? &api : nullptr;
}

void BM_ReadDataFile(benchmark::State& state) {
  ColorMatchApi* api = Library();
  if (!api) return state.SkipWithError("ColorMatch.so or Sepcal.ini not found");
  const std::string path = BinFolder() + "/Sepcal.ini";
  for (auto _ : state) benchmark::DoNotOptimize(api->SetColorMatchFileName(path.c_str()));
}
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMillisecond);

void BM_Match24BitA4At300(benchmark::State& state) {
  ColorMatchApi* api = Library();
  if (!api) return state.SkipWithError("ColorMatch.so or Sepcal.ini not found");
  const std::vector<std::uint8_t> page = px::bench::MakeA4ColourPage();
  std::vector<std::uint8_t> work(page.size());
  for (auto _ : state) {
    state.PauseTiming();
    work = page;
    state.ResumeTiming();
    api->ColorMatchFun(work.data(), px::bench::kPageHeight, px::bench::kPageWidth, static_cast<int>(state.range(0)));
  }
}
BENCHMARK(BM_Match24BitA4At300)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Match48BitA4At300(benchmark::State& state) {
  ColorMatchApi* api = Library();
  if (!api) return state.SkipWithError("ColorMatch.so or Sepcal.ini not found");
  const std::vector<std::uint8_t> page = px::bench::MakeA4ColourPage();
  std::vector<std::uint16_t> deep(page.size());
  for (size_t i = 0; i < page.size(); ++i) deep[i] = static_cast<std::uint16_t>(page[i] * 257 + (i & 0xFF));
  std::vector<std::uint16_t> work(deep.size());
  for (auto _ : state) {
    state.PauseTiming();
    work = deep;
    state.ResumeTiming();
    api->ColorMatchFun30_36(work.data(), px::bench::kPageHeight, px::bench::kPageWidth, 0);
  }
}
BENCHMARK(BM_Match48BitA4At300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
