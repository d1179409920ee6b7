// Pellix's settings: the fixed values of "ScanSetting.ini" next to the program
// and the per-user values kept under the registry key
// "SOFTWARE\<Title>\<Scanner>". Read once when the application starts; written
// in full after the Scan Setting dialog and counter-only after each saved page.
#pragma once

#include <string>
#include <vector>

namespace pellix {

/// File locations built once from the program folder.
struct AppPaths {
  std::string programFolder;    ///< ends in "/"
  std::string settingsFile;     ///< folder + "ScanSetting.ini"
  std::string enhanceLibrary;   ///< Tembra
  std::string geometryPlugin;   ///< GeometryTrans
  std::string colorMatchPlugin; ///< ColorMatch
  std::string mailLibrary;      ///< Postrel
  std::string languageFile;     ///< folder + "/Language/Lang_<Language>.ini"
  std::string colorMatchData;   ///< folder + CMFile
  std::string deviceLibrary;    ///< ScannerPath; a relative path is taken from the program folder
};

/// Everything the main window keeps for its life.
struct AppSettings {
  // Per-user values (registry).
  int ScanMode = 0;    ///< 0 Color, 1 Gray, 2 Lineart
  int ScanDPI = 300;
  int ScanFormat = 1;  ///< 0 BMP, 1 JPG, 2 TIF
  int AutoCrop = 0;
  std::string PATH;    ///< always ends in "/"
  std::string EmailClient = "None";
  int Count = 0;
  // Fixed values (settings file).
  int Width = 0;
  int Height = 0;
  std::string ScannerPath;
  std::string Title = "Dorvex";
  std::string Language = "English";
  std::string Scanner = "Default";
  std::string CMFile = "CM.ini";
  int ScanDPIDef = 300;
  int AutoCropDef = 0;
  std::string RegistryKeyPath;  ///< "SOFTWARE\" + Title + "\" + Scanner
  AppPaths paths;
};

/// Builds the paths and reads section "Scan" of the settings file and the
/// registry values (defaults when the key cannot be opened). Never fails.
/// `programFolder` may or may not end in "/".
AppSettings LoadAppSettings(const std::string& programFolder);

/// Reads only the registry values into `settings` (its RegistryKeyPath and
/// the settings file's ScanDPIDef/AutoCropDef decide key and defaults).
void ReadRegistrySettings(AppSettings& settings);

/// The full write: PATH, EmailClient, Count, ScanMode, ScanDPI, ScanFormat,
/// AutoCrop in that order. False when the key could not be written.
bool WriteAllSettings(const AppSettings& settings);
/// The counter write after a saved page: Count alone.
bool WriteCounter(const AppSettings& settings);

// What the Scan Setting dialog shows and stores; the dialog only asks.
/// Selected item of the resolution list ("100".."600") for a ScanDPI:
/// ScanDPI / 100 - 1, or -1 (no selection) outside the six items.
int ResolutionIndex(int scanDpi);
/// ScanDPI of resolution item `index`.
int ResolutionOfIndex(int index);
/// Selected item of the e-mail client list, whose item 0 is "None" and the
/// rest `clients` in order: 1 + position of `emailClient` (ignoring case),
/// or 0 when it is not listed.
int ClientIndex(const std::vector<std::string>& clients, const std::string& emailClient);
/// EmailClient for item `index`: the literal "None" for item 0, whatever
/// the language file calls it.
std::string ClientOfIndex(const std::vector<std::string>& clients, int index);

/// The plain decimal conversion used for registry values: optional sign and
/// leading digits, anything else 0; saturates instead of overflowing.
int TextToInt(const std::string& text);

/// `path` with a "/" appended when it lacks one (empty stays empty).
std::string WithTrailingSlash(std::string path);

}  // namespace pellix
