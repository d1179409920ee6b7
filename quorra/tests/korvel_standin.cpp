// Recording stand-in for the user-interface library.
#include <cstdlib>
#include <string>

#include "interfaces/export.h"
#include "interfaces/korvel_api.h"
#include "quorra/tests/standin_log.h"

using standin::Ctl;
using standin::Record;

PX_EXPORT void UI_Create(const UiCallbacks* callbacks) {
  Record("Korvel.UI_Create");
  if (callbacks) Ctl().korvel.callbacks = *callbacks;
}

namespace {
int g_panel;

// For host programs that cannot reach the controls: QUORRA_STANDIN_USER=N
// plays a user who scans N gray pages from the panel and then closes it.
void PlayUser(int pages) {
  ScanSetting& s = Ctl().korvel.setting;
  s = ScanSetting{};
  s.PixelType = PX_PIXEL_GRAY8;
  s.Corners[2] = {40, 30};
  s.Resolution = 300;
  s.Gray = NeutralEnhanceParam();
  for (int i = 0; i < pages; ++i) Ctl().korvel.callbacks.Scan();
  Ctl().korvel.callbacks.HostEvent();
}
}  // namespace

PX_EXPORT void UI_Show(void* parent, void** panel, const char* section) {
  Record(std::string("Korvel.UI_Show parent=") + standin::NameOf(parent) +
         " section=" + (section ? section : "null"));
  const char* user = std::getenv("QUORRA_STANDIN_USER");
  if (panel) *panel = user ? &g_panel : Ctl().korvel.panel;
  if (user) PlayUser(std::atoi(user));
}

PX_EXPORT void UI_Close() { Record("Korvel.UI_Close"); }

PX_EXPORT ScanSetting* UI_GetSetting() {
  Record("Korvel.UI_GetSetting");
  return &Ctl().korvel.setting;
}

PX_EXPORT int UI_SetProgress(int percent, int stage) {
  standin::KorvelControls& k = Ctl().korvel;
  if (k.logProgress)
    Record("Korvel.UI_SetProgress " + std::to_string(percent) + " " + std::to_string(stage));
  if (stage == k.cancelStage && percent >= k.cancelPercent) {
    k.cancelStage = -1;
    return 0;
  }
  return 1;
}

PX_EXPORT void UI_SetScanImg(int pixelType, int pixelsPerLine, int linesExpected, int fourth,
                             const unsigned char* data, int linesSoFar) {
  if (!Ctl().korvel.logProgress) return;
  Record("Korvel.UI_SetScanImg " + std::to_string(pixelType) + " " +
         std::to_string(pixelsPerLine) + " " + std::to_string(linesExpected) + " " +
         std::to_string(fourth) + " " + standin::NameOf(data) + " " + std::to_string(linesSoFar));
}

#ifndef STANDIN_OMIT_ERRMSG
PX_EXPORT int UI_ErrMsg(int code) {
  Record("Korvel.UI_ErrMsg " + std::to_string(code));
  return Ctl().korvel.errMsgResult;
}
#endif

PX_EXPORT void UI_ScanComplete() { Record("Korvel.UI_ScanComplete"); }
