// The two directions between Quorra and Korvel: the UI_* calls Quorra makes,
// and the UiCallbacks table through which Korvel asks Quorra to act.
#include <cstdint>
#include <new>

#include "quorra/scan_state.h"

namespace quorra {

int SetProgress(int percent, int stage) {
  const ScanState& s = State();
  return s.korvel.UI_SetProgress ? s.korvel.UI_SetProgress(percent, stage) : 1;
}

int ReportError(int code) {
  const ScanState& s = State();
  if (!s.reportErrors) return 0;
  return s.korvel.UI_ErrMsg ? s.korvel.UI_ErrMsg(code) : 2;
}

void ScanComplete() {
  const ScanState& s = State();
  if (s.korvel.UI_ScanComplete) s.korvel.UI_ScanComplete();
}

namespace {

int CalibrationProgress(int done, int total) {
  if (State().progress) {
    const int64_t percent = total != 0 ? int64_t{done} * 100 / total : 0;
    SetProgress(static_cast<int>(percent), PX_STAGE_CALIBRATION);
  }
  return 1;
}

int PaperOnSlot() {
  return Guarded(0, [] { return State().vantor.IsPaperOn ? State().vantor.IsPaperOn() : 0; });
}

int CalibrateSlot(int mode) {
  return Guarded(0, [mode] {
    const ScanState& s = State();
    if (!s.vantor.CalibrateScanner) return 0;
    return s.vantor.CalibrateScanner(mode, CalibrationProgress) == 0 ? 1 : 0;
  });
}

// One page with Korvel's settings. Every failure ends the page first, so the
// progress window is gone before the message box appears.
int ScanSlotBody() {
  ScanState& s = State();
  SetProgress(0, PX_STAGE_START);
  if (s.korvel.UI_GetSetting) {
    if (const ScanSetting* setting = s.korvel.UI_GetSetting()) ApplyScanSetting(*setting);
  }
  s.progress = 1;
  s.cancel = 0;

  if (SetUpDevice() != StepResult::kOk) {
    EndPage();
    return ReportError(kErrSetup);
  }
  if (AllocatePage() != StepResult::kOk) {
    EndPage();
    return ReportError(kErrMemory);
  }
  if (StartDevice(true) != StepResult::kOk) {
    EndPage();
    return ReportError(kErrSetup);
  }
  if (ReadPage() != StepResult::kOk || !ProcessPage()) {
    EndPage();
    if (s.cancel) return 1;
    return ReportError(kErrRead);
  }
  return s.imageReady ? s.imageReady() : 1;
}

int ScanSlot() {
  return Guarded(0, [] {
    try {
      return ScanSlotBody();
    } catch (const std::bad_alloc&) {
      EndPage();
      return ReportError(kErrMemory);
    }
  });
}

int HostEventSlot() {
  return Guarded(0, [] { return State().hostEvent ? State().hostEvent() : 0; });
}

int PrescanSlot(unsigned width, unsigned* height, unsigned char* rgb) {
  return Guarded(0, [&] { return Prescan(width, height, rgb); });
}

// Korvel calls these three without arguments; whatever it passes is passed on
// untouched because the call is a plain forward of the same signature.
int RollPaperSlot() {
  return Guarded(0, [] { return State().vantor.RollPaper ? State().vantor.RollPaper() : 0; });
}

int ButtonOnSlot() {
  return Guarded(0, [] { return State().vantor.IsButtonOn ? State().vantor.IsButtonOn() : 0; });
}

int CalibrationNeededSlot() {
  return Guarded(0, [] {
    return State().vantor.IsCalibrationNeeded ? State().vantor.IsCalibrationNeeded() : 0;
  });
}

const UiCallbacks kCallbacks = {PaperOnSlot,  CalibrateSlot, ScanSlot,     HostEventSlot,
                                PrescanSlot,  RollPaperSlot, ButtonOnSlot, CalibrationNeededSlot};

}  // namespace

const UiCallbacks* Callbacks() { return &kCallbacks; }

}  // namespace quorra
