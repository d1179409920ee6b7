// The user interface's remembered choices: installation values from Quorra.ini
// next to the library (read only) and the per-user "Last Setting" section of
// Kestra.ini in the user folder.
#pragma once

#include <string>

#include "interfaces/records.h"

namespace korvel {

/// What the main panel applies when it opens.
struct LastSetting {
  int scanMode = 1;      // 0 "Color (48bit)" .. 4 "Lineart"
  int paperSize = 2;     // 0 Letter .. 8 Custom
  int resolution = 2;    // 0 = 100 .. 6 = 600 dpi
  int customWidth = 830;   // hundredths of an inch
  int customHeight = 2330;
};

/// The three check boxes kept in memory while the library is loaded.
struct BoxValues {
  int autoScan = 0;
  int doDeskew = 0;
  int autoCrop = 1;
};

/// What the save at close writes.
struct SavedChoice {
  int scanMode = 1;
  int resolution = 2;
  int paperSize = 2;
  double customWidthInches = 0.0;  // used only with paper size 8 (Custom)
  double customHeightInches = 0.0;
  int language = 0;
};

inline constexpr int kCustomPaperSize = 8;

/// Pixel type for a scan mode index: 0 -> 3, 1 -> 0, 2 -> 4, 3 -> 1, 4 -> 2, else 0.
int PixelTypeFromScanMode(int scanModeIndex);

/// The ScanSetting record's values at library load.
void SetStartValues(ScanSetting& setting);

class SettingsStore {
 public:
  /// libraryFolder: Korvel's own folder (no final "/"); userFolder: the
  /// per-user folder that holds Kestra.ini, created here when missing.
  SettingsStore(std::string libraryFolder, std::string userFolder);

  /// The usual user folder: local application data + "/Zelm".
  static std::string DefaultUserFolder();

  const std::string& LibraryFolder() const { return libraryFolder_; }
  std::string QuorraIniPath() const { return libraryFolder_ + "/Quorra.ini"; }
  std::string KestraIniPath() const { return userFolder_ + "/Kestra.ini"; }

  /// UITitle, at most 259 characters; empty by default.
  std::string ReadTitle() const;
  /// InstallLanguage, "English" by default.
  std::string ReadInstallLanguage() const;
  /// Last Setting "Language", with the caller's default index.
  int ReadLanguage(int defaultIndex) const;

  /// Reads the stored choices (from the caller section of Quorra.ini when
  /// ZadiVidi is set) and loads the three box values into memory. Indexes
  /// outside their lists come back as the defaults.
  LastSetting ReadLastSetting(const std::string& callerSection);
  /// The Reset button's values: paper size and resolution by ZadiVidi and the
  /// caller section; nothing is written.
  LastSetting ResetValues(const std::string& callerSection) const;
  /// Writes all nine Last Setting keys in one atomic replacement.
  bool SaveLastSetting(const SavedChoice& choice) const;

  BoxValues& Boxes() { return boxes_; }
  const BoxValues& Boxes() const { return boxes_; }

 private:
  void PaperAndResolution(const std::string& callerSection, LastSetting& out) const;

  std::string libraryFolder_;
  std::string userFolder_;
  bool userFolderOk_ = false;
  BoxValues boxes_;
};

}  // namespace korvel
