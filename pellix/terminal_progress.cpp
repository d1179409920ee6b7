#include "pellix/terminal_progress.h"

#include <cstdio>

namespace pellix {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

bool Interrupted() { return g_interrupted != 0; }
void SetInterrupted(bool value) { g_interrupted = value ? 1 : 0; }

TerminalProgress::TerminalProgress(bool draw) : draw_(draw) {}

void TerminalProgress::Begin(bool) {
  last_ = -1;
  SetPosition(0);
}

void TerminalProgress::End() {
  if (draw_ && last_ >= 0) std::fputs("\r\033[K", stderr);
  last_ = -1;
}

void TerminalProgress::SetPosition(int percent) {
  if (!draw_ || percent == last_) return;
  last_ = percent;
  constexpr int kWidth = 40;
  char bar[kWidth + 1];
  const int filled = percent * kWidth / 100;
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_, bar, percent);
  std::fflush(stderr);
}

}  // namespace pellix
