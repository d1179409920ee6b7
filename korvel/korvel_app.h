// The library-wide state of the user interface: built when the library is
// loaded, destroyed before it is unloaded (so nothing with code in the library
// outlives it).
#pragma once

#include <memory>
#include <string>

#include "interfaces/records.h"
#include "interfaces/ui_callbacks.h"
#include "korvel/language.h"
#include "korvel/progress_model.h"
#include "korvel/settings_store.h"

namespace korvel {

class KorvelApp {
 public:
  /// libraryFolder: where Quorra.ini and Language/ live; userFolder: where
  /// Kestra.ini lives. Runs the start-up steps: folders, language, title,
  /// ScanSetting start values.
  KorvelApp(const std::string& libraryFolder, const std::string& userFolder);

  /// The one instance while the library is loaded.
  static KorvelApp* Instance();
  static void Start();
  static void Stop();

  UiCallbacks& Callbacks() { return callbacks_; }
  ScanSetting* Setting() { return setting_.get(); }
  SettingsStore& Store() { return store_; }
  LanguageTable& Language() { return language_; }
  const std::string& Title() const { return title_; }
  std::string& CallerSection() { return callerSection_; }

  /// The progress state while a progress window is open, else null.
  ProgressModel* Progress() { return progress_.get(); }
  ScanThumbnail* Thumbnail() { return thumbnail_.get(); }
  /// Opens the progress state (and later its window) when none is open.
  ProgressModel& OpenProgress();
  void CloseProgress();

  /// The text of a string id in the current language.
  std::string Text(int id) const { return language_.LookUp(id); }

 private:
  UiCallbacks callbacks_{};
  std::unique_ptr<ScanSetting> setting_;
  SettingsStore store_;
  LanguageTable language_;
  std::string title_;
  std::string callerSection_;
  std::unique_ptr<ProgressModel> progress_;
  std::unique_ptr<ScanThumbnail> thumbnail_;
};

}  // namespace korvel
