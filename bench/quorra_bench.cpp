// NoUItoXferImage's work on an A4 300 dpi colour page with every processing
// step on: deskew, automatic levels, a tone table, hue and saturation, a
// filter and descreen, from the simulated scanner at full speed.
//
// Method. NoUItoXferImage clears every processing flag (its settings come
// from SetScanSettings, which has none), so the page is scanned through the
// Scan request with a user-interface stand-in that supplies the settings and
// timestamps each progress report. The module reports at fixed marks between
// the pipeline steps (0, 10, 20, 30, 40, 70, 100 at stage 5, with deskew at
// stage 3 and reading at stage 2), so the time between two marks is the step
// between them. Hand-out (GetImageDIB) is timed around the call. Peak memory
// is the process's resident high-water mark (reset through
// /proc/self/clear_refs before each page) above the resident size just
// before the page, compared with the page's size as the device delivers it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "interfaces/quorra_api.h"
#include "interfaces/ui_callbacks.h"
#include "platform/global_memory.h"

namespace fs = std::filesystem;

struct BenchMark {
  int percent;
  int stage;
  std::chrono::steady_clock::time_point at;
  double cpuMs;  // process CPU time, every thread
};

namespace {

using Clock = std::chrono::steady_clock;

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double CpuMs() {
  timespec cpu{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  return cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6;
}

Clock::time_point g_ready;
double g_readyCpu = 0;
int ImageReady() {
  g_ready = Clock::now();
  g_readyCpu = CpuMs();
  return 1;
}

/// The module in a folder of its own with the real libraries and the
/// benchmark's user interface.
class Bench {
 public:
  Bench() {
    std::string pattern = (fs::temp_directory_path() / "quorra-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    const std::string bin = QUORRA_BENCH_BIN;
    for (const char* f : {"Quorra.so", "Vantor.so", "Tembra.so", "Filter.so", "GeometryTrans.so",
                          "ColorMatch.so", "Sepcal.ini"})
      fs::copy_file(bin + "/" + f, folder_ + "/" + f);
    fs::copy_file(QUORRA_BENCH_KORVEL, folder_ + "/Korvel.so");
    std::ofstream(folder_ + "/Vantor.ini")
        << "[Vantor]\nLinesPerSecond=0\nStateFolder=" << folder_ << "/state\n";
    setenv("VANTOR_INI", (folder_ + "/Vantor.ini").c_str(), 1);

    quorra_ = dlopen((folder_ + "/Quorra.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!quorra_) std::abort();
    api_.ForEach([&](const char* name, auto& slot) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(quorra_, name));
    });
    if (api_.OpenDS(ImageReady, nullptr, 1) != 0) std::abort();
    // The same library Quorra loaded: its accessors reach the records it uses.
    korvel_ = dlopen((folder_ + "/Korvel.so").c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!korvel_) std::abort();
    setting_ = reinterpret_cast<ScanSetting* (*)()>(dlsym(korvel_, "BenchKorvelSetting"))();
    callbacks_ = reinterpret_cast<const UiCallbacks* (*)()>(dlsym(korvel_, "BenchKorvelCallbacks"))();
    marks_ = reinterpret_cast<std::vector<BenchMark>* (*)()>(dlsym(korvel_, "BenchKorvelMarks"))();
  }
  ~Bench() {
    api_.CloseDS();
    dlclose(korvel_);
    dlclose(quorra_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  ScanSetting& Setting() { return *setting_; }
  const UiCallbacks& Callbacks() { return *callbacks_; }
  std::vector<BenchMark>& Marks() { return *marks_; }
  QuorraApi& Api() { return api_; }

 private:
  std::string folder_;
  void* quorra_ = nullptr;
  void* korvel_ = nullptr;
  QuorraApi api_;
  ScanSetting* setting_ = nullptr;
  const UiCallbacks* callbacks_ = nullptr;
  std::vector<BenchMark>* marks_ = nullptr;
};

EnhanceParam Tone(int16_t brightness, int16_t contrast, int16_t gamma) {
  EnhanceParam p{};
  p.Brightness = brightness;
  p.Contrast = contrast;
  p.Gamma = gamma;
  p.scale = 1.0f;
  p.InputLevelLow = 5;
  p.InputLevelHigh = 250;
  p.OutputLevelHigh = 255;
  return p;
}

void ScanA4(benchmark::State& state) {
  Bench bench;
  ScanSetting& s = bench.Setting();
  s = ScanSetting{};
  s.PixelType = 0;
  s.Corners[2] = {2480, 3508};
  s.Resolution = 300;
  s.Deskew = 1;
  s.AutoLevel = 1;
  s.Red = Tone(5, 10, 11);
  s.Green = Tone(5, 10, 11);
  s.Blue = Tone(5, 10, 11);
  s.Gray = Tone(0, 0, 10);
  s.Hue = 15;
  s.Saturation = 20;
  s.FilterChoice = 2;  // filter 5
  s.DescreenType = static_cast<int>(state.range(0));

  struct Step {
    const char* name;
    double total = 0;
    double cpu = 0;
  };
  // Wall-clock milliseconds per page between the module's marks, and the
  // process CPU time over the same span (the machine may be shared).
  std::vector<Step> steps = {{"setup"},   {"read"},     {"deskew"},   {"match_level"},
                             {"tone"},    {"hue_sat"},  {"filter"},   {"descreen"},
                             {"final_zoom"}, {"process"}, {"dib"}};
  double peakRatio = 0, peakMb = 0, pageMb = 0;
  for (auto _ : state) {
    bench.Marks().clear();
    const long baseKb = StatusKb("VmRSS:");
    ResetPeak();
    if (bench.Callbacks().Scan() != 1) {
      state.SkipWithError("scan failed");
      break;
    }
    ImageInfo info{};
    bench.Api().GetImageInfo(&info);
    const auto dibStart = Clock::now();
    void* dib = nullptr;
    if (bench.Api().GetImageDIB(&dib) != 3) {
      state.SkipWithError("hand-out failed");
      break;
    }
    const auto dibEnd = Clock::now();
    const long peakKb = StatusKb("VmHWM:");
    px::GlobalFree(dib);

    // Mark times: the module's fixed marks between the steps.
    const auto& m = bench.Marks();
    auto firstOf = [&](int stage) -> const BenchMark& {
      for (const auto& x : m)
        if (x.stage == stage) return x;
      return m.front();
    };
    auto lastOf = [&](int stage) -> const BenchMark& {
      const BenchMark* t = &m.front();
      for (const auto& x : m)
        if (x.stage == stage) t = &x;
      return *t;
    };
    // The fixed stage-5 marks, told apart from the zooms' own progress,
    // which reports in between.
    auto mark = [&](int percent, bool last) -> const BenchMark& {
      const BenchMark* t = &m.front();
      bool found = false;
      for (const auto& x : m) {
        if (x.stage != 5) continue;
        if (x.percent == percent && (last || !found)) {
          t = &x;
          found = true;
        }
        if (percent == 70 && x.percent > 70) break;
      }
      return *t;
    };
    const BenchMark& begin = m.front();  // UI_SetProgress(0, 0) opens the request
    const BenchMark &readStart = firstOf(2), &readEnd = lastOf(2);
    const BenchMark &m0 = mark(0, false), &m10 = mark(10, false), &m20 = mark(20, false),
                    &m30 = mark(30, false), &m40 = mark(40, false), &m70 = mark(70, true),
                    &m100 = lastOf(5);
    const BenchMark ready{100, 5, g_ready, g_readyCpu};
    const std::pair<const BenchMark*, const BenchMark*> spans[] = {
        {&begin, &readStart}, {&readStart, &readEnd}, {&readEnd, &m0}, {&m0, &m10},
        {&m10, &m20},         {&m20, &m30},           {&m30, &m40},    {&m40, &m70},
        {&m70, &m100},        {&readEnd, &ready}};
    for (size_t i = 0; i < std::size(spans); ++i) {
      steps[i].total += Ms(spans[i].first->at, spans[i].second->at);
      steps[i].cpu += spans[i].second->cpuMs - spans[i].first->cpuMs;
    }
    steps.back().total += Ms(dibStart, dibEnd);
    // The page as the host receives it: A4 at 300 dpi, 24 bits.
    const double page = 2480.0 * 3 * 3508;
    pageMb = page / 1e6;
    peakMb = std::max(peakMb, (peakKb - baseKb) / 1024.0 * 1.048576);
    peakRatio = std::max(peakRatio, (peakKb - baseKb) * 1024.0 / page);
    state.counters["width"] = info.Width;
    state.counters["height"] = info.Height;
  }
  const double n = static_cast<double>(std::max<int64_t>(1, state.iterations()));
  for (const Step& st : steps) {
    state.counters[std::string(st.name) + "_ms"] = st.total / n;
    if (st.cpu > 0) state.counters[std::string(st.name) + "_cpu_ms"] = st.cpu / n;
  }
  state.counters["page_mb"] = pageMb;
  state.counters["peak_mb"] = peakMb;
  state.counters["peak_over_page"] = peakRatio;
}

}  // namespace

// Descreen by resolution (150 lines per inch: scanned at 318 dpi, zoomed
// back) and by the descreen filter.
BENCHMARK(ScanA4)->Arg(3)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
