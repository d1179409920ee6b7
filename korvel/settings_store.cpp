#include "korvel/settings_store.h"

#include <cmath>

#include "korvel/language.h"
#include "platform/ini_file.h"
#include "platform/special_folders.h"

namespace korvel {

namespace {
constexpr const char* kDefaultSection = "Default Setting";
constexpr const char* kLastSection = "Last Setting";

int InRange(int value, int low, int high, int fallback) {
  return (value < low || value > high) ? fallback : value;
}
}  // namespace

int PixelTypeFromScanMode(int scanModeIndex) {
  switch (scanModeIndex) {
    case 0: return PX_PIXEL_COLOR48;
    case 1: return PX_PIXEL_COLOR24;
    case 2: return PX_PIXEL_GRAY16;
    case 3: return PX_PIXEL_GRAY8;
    case 4: return PX_PIXEL_BW;
    default: return PX_PIXEL_COLOR24;
  }
}

void SetStartValues(ScanSetting& s) {
  s = ScanSetting{};
  s.PixelType = PX_PIXEL_COLOR24;
  s.Corners[0] = {0, 0};
  s.Corners[1] = {413, 0};
  s.Corners[2] = {413, 584};
  s.Corners[3] = {0, 584};
  s.Resolution = 300;
  s.Red = s.Green = s.Blue = s.Gray = NeutralEnhanceParam();
}

SettingsStore::SettingsStore(std::string libraryFolder, std::string userFolder)
    : libraryFolder_(std::move(libraryFolder)), userFolder_(std::move(userFolder)) {
  userFolderOk_ = px::CreateFolders(userFolder_);
}

std::string SettingsStore::DefaultUserFolder() { return px::LocalAppDataFolder() + "/Zelm"; }

std::string SettingsStore::ReadTitle() const {
  return CutToCharacters(px::GetProfileString(kDefaultSection, "UITitle", "", QuorraIniPath()), 259);
}

std::string SettingsStore::ReadInstallLanguage() const {
  return px::GetProfileString(kDefaultSection, "InstallLanguage", "English", QuorraIniPath(), 259);
}

int SettingsStore::ReadLanguage(int defaultIndex) const {
  return px::GetProfileInt(kLastSection, "Language", defaultIndex, KestraIniPath());
}

void SettingsStore::PaperAndResolution(const std::string& callerSection, LastSetting& out) const {
  if (px::GetProfileInt(kDefaultSection, "ZadiVidi", 0, QuorraIniPath()) != 0) {
    out.paperSize = px::GetProfileInt(callerSection, "ScanSize", 2, QuorraIniPath());
    out.resolution = px::GetProfileInt(callerSection, "Resolution", 2, QuorraIniPath());
  } else {
    const px::IniDocument kestra = px::IniDocument::Load(KestraIniPath());
    auto get = [&](const char* key, int def) {
      auto v = kestra.Get(kLastSection, key);
      return (v && !v->empty()) ? px::ParseProfileInt(*v) : def;
    };
    out.paperSize = get("ScanSize", 2);
    out.resolution = get("DPI", 2);
  }
  // Stored indexes outside their lists never become selections.
  out.paperSize = InRange(out.paperSize, 0, 8, 2);
  out.resolution = InRange(out.resolution, 0, 6, 2);
}

LastSetting SettingsStore::ReadLastSetting(const std::string& callerSection) {
  LastSetting out;
  PaperAndResolution(callerSection, out);
  const px::IniDocument kestra = px::IniDocument::Load(KestraIniPath());
  auto get = [&](const char* key, int def) {
    auto v = kestra.Get(kLastSection, key);
    return (v && !v->empty()) ? px::ParseProfileInt(*v) : def;
  };
  out.scanMode = InRange(get("ScanMode", 1), 0, 4, 1);
  out.customWidth = get("CustomWidth", 830);
  out.customHeight = get("CustomHeight", 2330);
  boxes_.autoScan = get("AutoScan", 0);
  boxes_.doDeskew = get("DoDeskew", 0);
  boxes_.autoCrop = get("AutoCrop", 1);
  return out;
}

LastSetting SettingsStore::ResetValues(const std::string& callerSection) const {
  LastSetting out;
  if (px::GetProfileInt(kDefaultSection, "ZadiVidi", 0, QuorraIniPath()) != 0) {
    out.paperSize = InRange(px::GetProfileInt(callerSection, "ScanSize", 2, QuorraIniPath()), 0, 8, 2);
    out.resolution = InRange(px::GetProfileInt(callerSection, "Resolution", 2, QuorraIniPath()), 0, 6, 2);
  }
  return out;
}

bool SettingsStore::SaveLastSetting(const SavedChoice& c) const {
  if (!userFolderOk_ && !px::CreateFolders(userFolder_)) return false;
  const bool custom = c.paperSize == kCustomPaperSize;
  // Inches to hundredths, truncated; an absurd value must not overflow.
  auto hundredths = [](double inches) {
    const double v = std::trunc(inches * 100.0);
    if (!(v > -2147483648.0 && v < 2147483647.0)) return 0;
    return static_cast<int>(v);
  };
  px::IniDocument doc = px::IniDocument::Load(KestraIniPath());
  auto put = [&](const char* key, int value) { doc.Set(kLastSection, key, std::to_string(value)); };
  put("ScanMode", c.scanMode);
  put("DPI", c.resolution);
  put("ScanSize", c.paperSize);
  put("CustomWidth", custom ? hundredths(c.customWidthInches) : 0);
  put("CustomHeight", custom ? hundredths(c.customHeightInches) : 0);
  put("Language", c.language);
  put("AutoScan", boxes_.autoScan);
  put("DoDeskew", boxes_.doDeskew);
  put("AutoCrop", boxes_.autoCrop);
  return doc.Save(KestraIniPath());
}

}  // namespace korvel
