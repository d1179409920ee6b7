// Korvel's eight exports. Each one catches everything: no exception may reach
// the scan module.
#include <dlfcn.h>

#include <cstdio>
#include <new>

#include "interfaces/export.h"
#include "interfaces/korvel_api.h"
#include "korvel/korvel_app.h"

#ifndef KORVEL_NO_QT
#include <QApplication>
#include <QMessageBox>
#endif

using korvel::KorvelApp;

namespace {

bool HaveGuiApplication() {
#ifndef KORVEL_NO_QT
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
#else
  return false;
#endif
}

void PumpMessages() {
#ifndef KORVEL_NO_QT
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
#endif
}

// Qt keeps process-wide state from its first load on; a host that opens and
// closes the data source many times must not load and unload Qt each time
// (and lose that state every time). Korvel's own code still goes with Korvel.
void PinQt() {
#ifndef KORVEL_NO_QT
  for (const char* name : {"libQt6Core.so.6", "libQt6Gui.so.6", "libQt6Widgets.so.6"})
    dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

// Library load and unload: the application object lives exactly as long as
// the library does.
__attribute__((constructor)) void LoadLibrary() {
  try {
    PinQt();
    KorvelApp::Start();
  } catch (...) {
  }
}
__attribute__((destructor)) void UnloadLibrary() { KorvelApp::Stop(); }

}  // namespace

PX_EXPORT void UI_Create(const UiCallbacks* callbacks) {
  KorvelApp* app = KorvelApp::Instance();
  if (app && callbacks) app->Callbacks() = *callbacks;
}

PX_EXPORT void UI_Show(void* /*parent*/, void** panel, const char* section) {
  try {
    KorvelApp* app = KorvelApp::Instance();
    if (app) app->CallerSection() = section ? section : "";
    // The main panel needs a display and a Qt application; until it can be
    // created the caller gets no window.
    if (panel) *panel = nullptr;
  } catch (...) {
    if (panel) *panel = nullptr;
  }
}

PX_EXPORT void UI_Close(void) {}

PX_EXPORT ScanSetting* UI_GetSetting(void) {
  KorvelApp* app = KorvelApp::Instance();
  return app ? app->Setting() : nullptr;
}

PX_EXPORT int UI_SetProgress(int percent, int stage) {
  try {
    KorvelApp* app = KorvelApp::Instance();
    if (!app) return 1;
    korvel::ProgressModel& progress = app->OpenProgress();
    progress.Update(percent, stage);
    PumpMessages();
    return progress.ContinueFlag();
  } catch (...) {
    return 1;
  }
}

PX_EXPORT void UI_SetScanImg(int pixelType, int pixelsPerLine, int linesExpected, int threshold,
                             const unsigned char* data, int linesSoFar) {
  try {
    PumpMessages();
    KorvelApp* app = KorvelApp::Instance();
    if (!app || !app->Thumbnail()) return;
    app->Thumbnail()->Update(pixelType, pixelsPerLine, linesExpected, threshold, data, linesSoFar);
  } catch (...) {
  }
}

PX_EXPORT int UI_ErrMsg(int code) {
  try {
    KorvelApp* app = KorvelApp::Instance();
    if (!app || code < 1 || code > 4) return 0;
    const std::string text = app->Text(2090 + code);
    if (HaveGuiApplication()) {
#ifndef KORVEL_NO_QT
      QMessageBox::warning(nullptr, QString::fromStdString(app->Title()),
                           QString::fromStdString(text));
#endif
    } else {
      if (app->Title().empty()) std::fprintf(stderr, "%s\n", text.c_str());
      else std::fprintf(stderr, "%s: %s\n", app->Title().c_str(), text.c_str());
    }
  } catch (...) {
  }
  return 0;
}

PX_EXPORT void UI_ScanComplete(void) {
  KorvelApp* app = KorvelApp::Instance();
  if (app) app->CloseProgress();
}
