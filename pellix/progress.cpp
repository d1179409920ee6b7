#include "pellix/progress.h"

#include <cstdint>

namespace pellix {

namespace {

ProgressSink* g_sink = nullptr;
bool g_cancellable = false;
int g_total = 0;

int Report(int done, int total) {
  ProgressSink* sink = g_sink;
  if (!sink) return 1;
  sink->Pump();
  sink->SetPosition(PercentOf(done, total));
  return (g_cancellable && sink->CancelRequested()) ? 0 : 1;
}

}  // namespace

ProgressScope::ProgressScope(ProgressSink* sink, bool cancellable)
    : previousSink_(g_sink), previousCancellable_(g_cancellable), previousTotal_(g_total) {
  g_sink = sink;
  g_cancellable = cancellable;
  g_total = 0;
  if (sink) sink->Begin(cancellable);
}

ProgressScope::~ProgressScope() {
  if (g_sink) g_sink->End();
  g_sink = previousSink_;
  g_cancellable = previousCancellable_;
  g_total = previousTotal_;
}

void ProgressScope::SetTotal(int total) { g_total = total; }

int PercentOf(int done, int total) {
  // The position is worked out on 16-bit values; a zero total (a device
  // reporting no lines) must not divide by zero.
  const uint32_t d = static_cast<uint16_t>(done);
  const uint32_t t = static_cast<uint16_t>(total);
  if (t == 0) return 0;
  const uint32_t percent = d * 100u / t;
  return percent > 100u ? 100 : static_cast<int>(percent);
}

int ProgressCallback(int linesDone) { return Report(linesDone, g_total); }

int CalibrationProgress(int done, int total) { return Report(done, total); }

}  // namespace pellix
