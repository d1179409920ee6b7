// The terminal's progress window: a bar on standard error (only when it is
// a terminal) and Ctrl-C as its Cancel button.
#pragma once

#include <csignal>

#include "pellix/progress.h"

namespace pellix {

/// Installs the SIGINT handler that only sets a flag; a second Ctrl-C ends
/// the program the ordinary way.
void InstallInterruptHandler();
bool Interrupted();
/// For tests.
void SetInterrupted(bool value);

class TerminalProgress : public ProgressSink {
 public:
  /// `label` is shown before the bar ("Page 2/3").
  explicit TerminalProgress(bool draw);
  void SetLabel(const char* label) { label_ = label; }
  void Begin(bool cancellable) override;
  void End() override;
  void SetPosition(int percent) override;
  bool CancelRequested() override { return Interrupted(); }

 private:
  bool draw_;
  const char* label_ = "";
  int last_ = -1;
};

}  // namespace pellix
