#include "pellix/scan_command.h"

#include <climits>
#include <cstring>

#include "pellix/image_container.h"
#include "pellix/language.h"
#include "pellix/output_files.h"
#include "pellix/scan_session.h"

namespace pellix {

bool OpenSession(CScanSession& session, const AppSettings& s) {
  return session.Open(s.paths.deviceLibrary, s.paths.enhanceLibrary, s.paths.geometryPlugin,
                      s.paths.colorMatchPlugin, s.paths.colorMatchData);
}

bool RequestForScanMode(int scanMode, int& requestCode, int& bitsPerPixel) {
  switch (scanMode) {
    case 0: requestCode = kRequestColor; bitsPerPixel = 24; return true;
    case 1: requestCode = kRequestGray; bitsPerPixel = 8; return true;
    case 2: requestCode = kRequestLineart; bitsPerPixel = 8; return true;
    default: return false;
  }
}

bool PageToImage(const uint8_t* page, int width, int height, int64_t bytesPerLine,
                 int bitsPerPixel, ImageContainer& image) {
  if (!page || width <= 0 || height <= 0) return false;
  if (bytesPerLine != static_cast<int64_t>(width) * (bitsPerPixel / 8)) return false;
  if (!image.Create(width, height, bitsPerPixel)) return false;
  for (int y = 0; y < height; ++y)
    std::memcpy(image.Row(y), page + static_cast<int64_t>(y) * bytesPerLine,
                static_cast<size_t>(bytesPerLine));
  return true;
}

namespace {

// Paper check shared by Scan and the calibration pass.
bool PaperReady(CScanSession& session, const ScanHooks& hooks) {
  if (session.IsPaperOn()) return true;
  if (!hooks.waitForPaper) return false;
  return hooks.waitForPaper([&session] { return session.IsPaperOn(); });
}

}  // namespace

namespace {

ScanResult ScanCommandImpl(AppSettings& settings, ProgressSink* progress, const ScanHooks& hooks) {
  ScanResult result;
  CScanSession session;
  if (!OpenSession(session, settings)) {
    result.outcome = ScanOutcome::NotReady;
    result.messageId = IDS_INIT_FAILED;
    return result;
  }
  if (session.IsCalibrationNeeded()) {
    result.outcome = ScanOutcome::CalibrationNeeded;
    result.messageId = IDS_NO_CALIBRATION;
    if (hooks.calibrationNeeded) hooks.calibrationNeeded();
    return result;
  }
  if (!PaperReady(session, hooks)) {
    result.outcome = ScanOutcome::NoPaper;
    result.messageId = IDS_NO_PAPER;
    return result;
  }

  int requestCode = 0, bitsPerPixel = 0;
  const uint8_t* page = nullptr;
  {
    ProgressScope scope(progress, true);
    if (!RequestForScanMode(settings.ScanMode, requestCode, bitsPerPixel)) {
      result.outcome = ScanOutcome::StartFailed;
      result.startResult = kStartUnknownRequest;
      return result;
    }
    result.startResult = session.Start(requestCode, settings.ScanDPI, settings.Height,
                                       settings.Width, settings.paths.settingsFile,
                                       settings.AutoCrop != 0);
    if (result.startResult != kStartOk) {
      result.outcome = ScanOutcome::StartFailed;
      return result;
    }
    page = session.Read();
    if (!page) {
      session.ReleaseBuffers();
      result.outcome = session.StoppedByUser() ? ScanOutcome::Cancelled : ScanOutcome::ReadFailed;
      return result;
    }
  }
  if (progress) progress->Pump();

  result.file = NextFileName(settings.PATH, settings.Count, settings.ScanFormat);
  ImageContainer image;
  const bool made = PageToImage(page, session.ResultWidth(), session.ResultLines(),
                                session.ResultBytesPerLine(), bitsPerPixel, image);
  session.ReleaseBuffers();
  // A page that was not written is not counted, so the next scan takes the
  // same number and nothing is reported as saved that is not there.
  if (!made || !SavePage(image, result.file)) {
    result.outcome = ScanOutcome::SaveFailed;
    return result;
  }
  result.outcome = ScanOutcome::Saved;
  result.width = image.Width();
  result.height = image.Height();
  result.bitsPerPixel = image.BitsPerPixel();
  if (settings.Count < INT_MAX) ++settings.Count;
  result.counterWritten = WriteCounter(settings);
  if (hooks.pageSaved) hooks.pageSaved(result.file, image);
  return result;
}

CalibrationResult CalibrationPassImpl(const AppSettings& settings, int mode,
                                     ProgressSink* progress, const ScanHooks& hooks) {
  CalibrationResult result;
  CScanSession session;
  if (!OpenSession(session, settings)) {
    result.outcome = CalibrationOutcome::NotReady;
    result.messageId = IDS_INIT_FAILED;
    return result;
  }
  if (!PaperReady(session, hooks)) {
    result.outcome = CalibrationOutcome::NoPaper;
    result.messageId = IDS_NO_PAPER;
    return result;
  }
  int done = 0;
  {
    ProgressScope scope(progress, false);
    done = session.Calibrate(mode == kCleanMode ? kCleanMode : kCalibrateMode);
  }
  if (progress) progress->Pump();
  result.outcome = done ? CalibrationOutcome::Done : CalibrationOutcome::Failed;
  return result;
}

}  // namespace

// The commands are the core's boundary towards the windows: anything thrown
// inside (memory running out, a hook that throws) becomes a failure result,
// and the session has been closed by then.
ScanResult RunScanCommand(AppSettings& settings, ProgressSink* progress, const ScanHooks& hooks) {
  try {
    return ScanCommandImpl(settings, progress, hooks);
  } catch (...) {
    ScanResult failed;
    failed.outcome = ScanOutcome::ReadFailed;
    return failed;
  }
}

CalibrationResult RunCalibrationPass(const AppSettings& settings, int mode, ProgressSink* progress,
                                     const ScanHooks& hooks) {
  try {
    return CalibrationPassImpl(settings, mode, progress, hooks);
  } catch (...) {
    CalibrationResult failed;
    failed.outcome = CalibrationOutcome::Failed;
    return failed;
  }
}

StartupCheck CheckDeviceAtStart(const AppSettings& settings) try {
  CScanSession session;
  if (!OpenSession(session, settings)) return StartupCheck::NotReady;
  return session.IsCalibrationNeeded() ? StartupCheck::CalibrationNeeded : StartupCheck::Ready;
} catch (...) {
  return StartupCheck::NotReady;
}

}  // namespace pellix
