// Filters on an A4 300 dpi colour page, single-threaded: the time columns are
// milliseconds per page, bytes_per_second the throughput, measured on CPU
// time so that other work on a shared machine counts as little as possible. Each iteration filters a fresh copy of the page, so repeated
// runs do not drift towards an image that is cheaper to filter.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/a4_page.h"
#include "filter/filter_core.h"

namespace {

const std::vector<std::uint8_t>& Page() {
  static const std::vector<std::uint8_t> page = px::bench::MakeA4ColourPage();
  return page;
}

void RunFilterOnPage(benchmark::State& state, int number, px::filter::Cpu cpu) {
  if (px::filter::SelectCpu(cpu) != cpu) {
    state.SkipWithError("this processor lacks the loops asked for");
    return;
  }
  const std::vector<std::uint8_t>& page = Page();
  std::vector<std::uint8_t> work(page.size());
  const int rowLength = px::bench::kPageWidth * 3;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), page.data(), page.size());
    state.ResumeTiming();
    px::filter::RunFilter(number, work.data(), 2, px::bench::kPageHeight, rowLength);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
  px::filter::SelectCpu(px::filter::CpuHasAvx2() ? px::filter::Cpu::kAvx2 : px::filter::Cpu::kScalar);
}

// The descreen filter's middle pass on its own, to compare with a plain 3 x 3
// median elsewhere.
void MedianPassOnPage(benchmark::State& state) {
  const std::vector<std::uint8_t>& page = Page();
  std::vector<std::uint8_t> work(page.size());
  const int rowLength = px::bench::kPageWidth * 3;
  std::vector<unsigned char> previous(rowLength), current(rowLength);
  px::filter::Plane plane;
  plane.data = work.data();
  plane.rows = px::bench::kPageHeight;
  plane.rowLength = rowLength;
  plane.step = 3;
  plane.used = rowLength;
  px::filter::WorkRows rows{previous.data(), current.data()};
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), page.data(), page.size());
    state.ResumeTiming();
    px::filter::MedianPass(plane, rows);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}

void Register() {
  benchmark::RegisterBenchmark("MedianPass/colour", MedianPassOnPage)->Unit(benchmark::kMillisecond);
  const struct {
    int number;
    const char* name;
  } filters[] = {{1, "invert"}, {2, "flip"},   {3, "blur"},   {5, "sharpen"},  {7, "emboss"},
                 {8, "unsharp"}, {16, "soften"}, {17, "smooth"}, {19, "descreen"},
                 {20, "descreen_filter"}};
  for (const auto& f : filters) {
    const int number = f.number;
    benchmark::RegisterBenchmark(
        (std::string("Filter") + std::to_string(number) + "_" + f.name + "/colour").c_str(),
        [number](benchmark::State& s) { RunFilterOnPage(s, number, px::filter::ActiveCpu()); })
        ->Unit(benchmark::kMillisecond);
  }
  // The plain loops, for comparison with the dispatched ones.
  for (int number : {3, 19}) {
    benchmark::RegisterBenchmark(
        (std::string("Filter") + std::to_string(number) + "/colour/plain_loops").c_str(),
        [number](benchmark::State& s) { RunFilterOnPage(s, number, px::filter::Cpu::kScalar); })
        ->Unit(benchmark::kMillisecond);
  }
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
