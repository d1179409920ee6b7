#include "vantor/sim/sim_config.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/ini_file.h"
#include "platform/module.h"

namespace vantor_sim {
namespace {

constexpr const char* kSection = "Vantor";

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Resolve(const std::string& base, const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  return base + "/" + path;
}

// Decimal with a point, whatever the process locale says.
double ProfileDouble(const px::IniDocument& ini, const char* key, double fallback) {
  const auto text = ini.Get(kSection, key);
  if (!text || text->empty()) return fallback;
  double value = fallback;
  const char* first = text->data();
  if (*first == '+') ++first;
  const auto result = std::from_chars(first, text->data() + text->size(), value);
  return result.ec == std::errc() ? value : fallback;
}

int ProfileInt(const px::IniDocument& ini, const char* key, int fallback) {
  const auto text = ini.Get(kSection, key);
  if (!text || text->empty()) return fallback;
  return px::ParseProfileInt(*text);
}

}  // namespace

std::string DefaultStateFolder() {
  const std::string home = EnvOr("HOME", "/tmp");
  return EnvOr("XDG_STATE_HOME", home + "/.local/state") + "/vantor";
}

std::string ConfigPath() {
  const std::string fromEnv = EnvOr("VANTOR_INI", "");
  if (!fromEnv.empty()) return fromEnv;
  const std::string folder = px::ModuleFolderOf(reinterpret_cast<const void*>(&ConfigPath));
  return (folder.empty() ? std::string(".") : folder) + "/Vantor.ini";
}

SimConfig LoadConfig(const std::string& path) {
  SimConfig c;
  c.iniPath = path;
  const px::IniDocument ini = px::IniDocument::Load(path);
  const std::string base = FolderOf(path);
  const auto text = [&](const char* key) { return ini.Get(kSection, key).value_or(std::string()); };

  c.pageSource = Resolve(base, text("PageSource"));
  c.skewAngle = std::clamp(ProfileDouble(ini, "SkewAngle", c.skewAngle), -45.0, 45.0);
  c.offsetX = std::clamp(ProfileDouble(ini, "OffsetX", c.offsetX), -3000.0, 3000.0);
  c.offsetY = std::clamp(ProfileDouble(ini, "OffsetY", c.offsetY), -3000.0, 3000.0);
  const double w = ProfileDouble(ini, "SheetWidth", c.sheetWidth);
  const double h = ProfileDouble(ini, "SheetHeight", c.sheetHeight);
  // A sheet must be large enough to hold something and small enough to feed.
  if (w >= 300 && w <= 6000) c.sheetWidth = w;
  if (h >= 300 && h <= 30000) c.sheetHeight = h;
  c.linesPerSecond = std::max(0, ProfileInt(ini, "LinesPerSecond", 0));
  c.paperPresent = ProfileInt(ini, "PaperPresent", 1) != 0;
  c.feederPages = std::max(0, ProfileInt(ini, "FeederPages", 0));
  c.stateFolder = text("StateFolder");
  c.stateFolder = c.stateFolder.empty() ? DefaultStateFolder() : Resolve(base, c.stateFolder);
  while (c.stateFolder.size() > 1 && c.stateFolder.back() == '/') c.stateFolder.pop_back();
  c.buttonFile = text("ButtonFile");
  c.buttonFile = c.buttonFile.empty() ? c.stateFolder + "/button" : Resolve(base, c.buttonFile);
  c.calibrationNeeded = ProfileInt(ini, "CalibrationNeeded", 0) != 0;
  const auto dpi = [&](const char* key) {
    const int v = ProfileInt(ini, key, 0);
    return v >= 50 && v <= 1200 ? v : 0;
  };
  c.deliveredXDpi = dpi("DeliveredXDpi");
  c.deliveredYDpi = dpi("DeliveredYDpi");

  c.openFailures = std::max(0, ProfileInt(ini, "OpenFailures", 0));
  c.refuseParameters = ProfileInt(ini, "RefuseParameters", 0) != 0;
  c.shortPageLines = std::max(0, ProfileInt(ini, "ShortPageLines", 0));
  c.readFailStatus = std::clamp(ProfileInt(ini, "ReadFailStatus", 0), 0, 65535);
  c.extraLines = std::clamp(ProfileInt(ini, "ExtraLines", 0), 0, 65535);
  c.paperJam = ProfileInt(ini, "PaperJam", 0) != 0;
  return c;
}

}  // namespace vantor_sim
