// A window-less user interface for the scan-module benchmark: it hands the
// module a settings record and timestamps every progress report, so the
// benchmark can tell how long each processing step took.
#include <time.h>

#include <chrono>
#include <vector>

#include "interfaces/export.h"
#include "interfaces/korvel_api.h"

struct BenchMark {
  int percent;
  int stage;
  std::chrono::steady_clock::time_point at;
  double cpuMs;  // process CPU time, every thread
};

namespace {
ScanSetting g_setting{};
UiCallbacks g_callbacks{};
std::vector<BenchMark> g_marks;
}  // namespace

PX_EXPORT ScanSetting* BenchKorvelSetting() { return &g_setting; }
PX_EXPORT const UiCallbacks* BenchKorvelCallbacks() { return &g_callbacks; }
PX_EXPORT std::vector<BenchMark>* BenchKorvelMarks() { return &g_marks; }

PX_EXPORT void UI_Create(const UiCallbacks* callbacks) {
  if (callbacks) g_callbacks = *callbacks;
}
PX_EXPORT void UI_Show(void*, void** panel, const char*) {
  if (panel) *panel = nullptr;
}
PX_EXPORT void UI_Close() {}
PX_EXPORT ScanSetting* UI_GetSetting() { return &g_setting; }
PX_EXPORT int UI_SetProgress(int percent, int stage) {
  timespec cpu{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
  g_marks.push_back({percent, stage, std::chrono::steady_clock::now(),
                     cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6});
  return 1;
}
PX_EXPORT void UI_SetScanImg(int, int, int, int, const unsigned char*, int) {}
PX_EXPORT int UI_ErrMsg(int) { return 0; }
PX_EXPORT void UI_ScanComplete() {}
