// Filter 19: descreen in three passes over the whole image (a low-pass
// kernel, a median, an unsharp mask of strength 2), each timed for the trace.
#include <chrono>
#include <cstdio>

#include "filter/filter_core.h"

namespace px::filter {
namespace {

using Clock = std::chrono::steady_clock;

void TraceSeconds(const char* format, Clock::time_point start) {
  const long seconds = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
  char line[64];
  std::snprintf(line, sizeof(line), format, seconds);
  TraceLine(line);
}

}  // namespace

void Descreen(const Plane& image, WorkRows& work) {
  const Kernel kLowPass = MakeKernel(1.0f, 0.0f, 3.0f);
  const Kernel kUnsharp = MakeKernel(0.0f, -0.25f, 1.0f, KernelKind::kUnsharpTwice);

  TraceLine("<Filter> ****** Demoire begin ********");
  Clock::time_point start = Clock::now();
  KernelPass(image, kLowPass, work);
  TraceSeconds("High Pass: %ld", start);

  start = Clock::now();
  MedianPass(image, work);
  TraceSeconds("Medium: %ld", start);

  start = Clock::now();
  KernelPass(image, kUnsharp, work);
  TraceSeconds("UnSharp Mask: %ld", start);
  TraceLine("<Filter> ****** Demoire end ********");
}

}  // namespace px::filter
