// Progress and cancel for the long device calls. The core never draws: it
// reports a position to a ProgressSink, which the Qt progress window and the
// terminal bar both implement, and asks it whether the user cancelled.
//
// Vantor's progress functions carry no user data, so the sink of the running
// operation is named by one process-wide pointer while a ProgressScope lives
// (only one progress window exists at a time). Everything runs on the thread
// that owns the user interface.
#pragma once

namespace pellix {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  /// The progress window appears (Cancel shown only when `cancellable`).
  virtual void Begin(bool /*cancellable*/) {}
  /// The progress window goes away.
  virtual void End() {}
  /// Handles pending user-interface events (repaint, the Cancel button).
  virtual void Pump() {}
  /// New position, 0..100.
  virtual void SetPosition(int percent) = 0;
  /// True once the user asked to stop; only asked where Cancel is offered.
  virtual bool CancelRequested() { return false; }
};

/// Makes `sink` the current progress window for its lifetime; `cancellable`
/// false is the calibration pass, which always runs to its end. Scopes do not
/// nest: a new one replaces the current sink and restores it when it ends.
class ProgressScope {
 public:
  ProgressScope(ProgressSink* sink, bool cancellable);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;
  /// The total that ProgressCallback divides by (device lines of the scan).
  static void SetTotal(int total);

 private:
  ProgressSink* previousSink_;
  bool previousCancellable_;
  int previousTotal_;
};

/// Given to StartScanEx: lines read so far. 0 asks the device to stop.
int ProgressCallback(int linesDone);
/// Given to CalibrateScanner: (done, total). 0 asks the device to stop.
int CalibrationProgress(int done, int total);

/// done x 100 / total on the low 16 bits of both, clamped to 0..100; 0 when
/// the total is 0.
int PercentOf(int done, int total);

}  // namespace pellix
