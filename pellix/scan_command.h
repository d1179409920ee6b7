// The application's long commands without their windows: Scan (one page from
// the device to a saved, numbered file), the calibration and cleaning pass,
// and the device check at start. Each builds a fresh CScanSession and closes
// it on every path. They show nothing: the outcome carries the id of the
// message the window (or the terminal) is to show, and progress goes through
// a ProgressSink.
#pragma once

#include <functional>
#include <string>

#include "pellix/app_settings.h"
#include "pellix/progress.h"

class ImageContainer;

namespace pellix {

class CScanSession;

/// Opens `session` with the paths of the settings.
bool OpenSession(CScanSession& session, const AppSettings& settings);

/// Request code and bits per pixel of a ScanMode; false for other modes.
bool RequestForScanMode(int scanMode, int& requestCode, int& bitsPerPixel);

enum class ScanOutcome {
  Saved,              ///< the page is in `file`
  NotReady,           ///< message 32790
  CalibrationNeeded,  ///< message 32803, then the calibration command
  NoPaper,            ///< message 32791
  StartFailed,        ///< bad mode, resolution, refused parameters, memory (`startResult`)
  ReadFailed,         ///< the device failed, or the page was unusable
  Cancelled,          ///< the user stopped the read; nothing saved, Count unchanged
  SaveFailed,         ///< the file could not be written; Count unchanged
};

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::NotReady;
  unsigned messageId = 0;  ///< text to show, 0 for none
  int startResult = 0;
  std::string file;
  int width = 0, height = 0, bitsPerPixel = 0;
  bool counterWritten = false;
};

struct ScanHooks {
  /// Asked when the paper sensor reports no paper, with a function that
  /// reads it. True when paper arrived; unset or false gives NoPaper.
  std::function<bool(const std::function<int()>& isPaperOn)> waitForPaper;
  /// Called while the session is still open when the device needs
  /// calibration (the window runs its calibration command here).
  std::function<void()> calibrationNeeded;
  /// Called with the saved page (the window adds it to its list).
  std::function<void(const std::string& file, ImageContainer& image)> pageSaved;
};

/// One Scan command: open, check calibration and paper, start with the
/// settings' mode and resolution, read behind `progress` (cancellable),
/// save as NextFileName, then Count + 1 written back alone.
ScanResult RunScanCommand(AppSettings& settings, ProgressSink* progress,
                          const ScanHooks& hooks = {});

/// Copies a finished page (top line first) into an image of `bitsPerPixel`
/// 8 or 24. False for sizes the image refuses or when memory is short.
bool PageToImage(const uint8_t* page, int width, int height, int64_t bytesPerLine,
                 int bitsPerPixel, ImageContainer& image);

enum { kCalibrateMode = 0, kCleanMode = 1 };

enum class CalibrationOutcome { Done, Failed, NotReady, NoPaper };
struct CalibrationResult {
  CalibrationOutcome outcome = CalibrationOutcome::NotReady;
  unsigned messageId = 0;
};

/// The calibration (mode 0) or cleaning (mode 1) pass behind a progress
/// window without Cancel. Failed when the device reports a failure.
CalibrationResult RunCalibrationPass(const AppSettings& settings, int mode, ProgressSink* progress,
                                     const ScanHooks& hooks = {});

enum class StartupCheck { NotReady, CalibrationNeeded, Ready };
/// The device check made once at start: opens a session as Scan does, asks
/// IsCalibrationNeeded and closes it.
StartupCheck CheckDeviceAtStart(const AppSettings& settings);

}  // namespace pellix
