// Time to scan one page from the simulated scanner, as a caller sees it
// (SetParameters to StopScan), and to render the sample document alone.
// Run from the build folder: bench/vantor_bench (Vantor.so from bin/).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "interfaces/vantor_api.h"
#include "platform/module.h"
#include "vantor/sim/sample_document.h"

namespace {

struct Device {
  px::Module module;
  VantorApi api;
  std::string folder;
  bool ok = false;

  Device() {
    char pattern[] = "/tmp/vantor-bench-XXXXXX";
    if (!mkdtemp(pattern)) return;
    folder = pattern;
    std::ofstream(folder + "/Vantor.ini") << "[Vantor]\nStateFolder=" << folder << "\n";
    setenv("VANTOR_INI", (folder + "/Vantor.ini").c_str(), 1);
    const char* bin = std::getenv("PX_BIN_DIR");
    const std::string dir = bin && *bin ? bin : px::ExecutableFolder() + "/../bin";
    ok = module.Load(px::LibraryPath(dir, "Vantor")) && module.BindAll(api) && api._Open();
  }
  ~Device() {
    if (ok) api._Close();
    module.Unload();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

Device& TheDevice() {
  static Device device;
  return device;
}

void BM_ScanPage(benchmark::State& state) {
  Device& d = TheDevice();
  if (!d.ok) {
    state.SkipWithError("Vantor.so not found (set PX_BIN_DIR)");
    return;
  }
  const int mode = int(state.range(0)), dpi = int(state.range(1));
  std::vector<uint8_t> buffer;
  for (auto _ : state) {
    VantorScanParameters p{};
    p.resolution = uint16_t(dpi);
    p.mode = uint16_t(mode);
    p.reserved128 = 128;
    d.api.SetParameters(&p);
    VantorGeometry g{};
    d.api.GetParameters(&g);
    buffer.resize(size_t(g.bytesPerLine) * g.lines);
    VantorStartBlock start{};
    d.api.StartScanEx(&start, 1);
    VantorReadBlock read{};
    read.linesWanted = uint16_t(g.lines);
    read.buffer = reinterpret_cast<uintptr_t>(buffer.data());
    d.api.ReadScannedData(&read);
    VantorStatusBlock stop{};
    d.api.StopScan(&stop);
    if (p.status || read.status) state.SkipWithError("scan failed");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
BENCHMARK(BM_ScanPage)
    ->ArgNames({"mode", "dpi"})
    ->Args({2, 300})
    ->Args({1, 300})
    ->Args({10, 300})
    ->Args({9, 300})
    ->Args({2, 600})
    ->Args({2, 75})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_RenderSampleSheet(benchmark::State& state) {
  const double dpi = double(state.range(0));
  const vantor_sim::SampleDocument doc(1, dpi, dpi);
  std::vector<float> rows(size_t(doc.gridWidth()) * 64 * 3);
  for (auto _ : state) {
    for (int first = 0; first < doc.gridHeight(); first += 64) {
      doc.RenderRows(first, std::min(64, doc.gridHeight() - first), rows.data());
      benchmark::DoNotOptimize(rows.data());
    }
  }
}
BENCHMARK(BM_RenderSampleSheet)->Arg(300)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
