#include "korvel/korvel_app.h"

#include "platform/module.h"

namespace korvel {

namespace {
KorvelApp* g_app = nullptr;
}

KorvelApp::KorvelApp(const std::string& libraryFolder, const std::string& userFolder)
    : setting_(std::make_unique<ScanSetting>()), store_(libraryFolder, userFolder) {
  language_.Load(libraryFolder);
  const int defaultIndex = language_.DefaultIndex(store_.ReadInstallLanguage());
  language_.Select(store_.ReadLanguage(defaultIndex));
  title_ = store_.ReadTitle();
  SetStartValues(*setting_);
}

KorvelApp* KorvelApp::Instance() { return g_app; }

void KorvelApp::Start() {
  if (g_app) return;
  static int anchor;
  g_app = new KorvelApp(px::ModuleFolderOf(&anchor), SettingsStore::DefaultUserFolder());
}

void KorvelApp::Stop() {
  delete g_app;
  g_app = nullptr;
}

ProgressModel& KorvelApp::OpenProgress() {
  if (!progress_) {
    progress_ = std::make_unique<ProgressModel>();
    thumbnail_ = std::make_unique<ScanThumbnail>();
  }
  return *progress_;
}

void KorvelApp::CloseProgress() {
  progress_.reset();
  thumbnail_.reset();
}

}  // namespace korvel
