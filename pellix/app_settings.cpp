#include "pellix/app_settings.h"

#include <strings.h>

#include <climits>
#include <optional>

#include "platform/ini_file.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/special_folders.h"

namespace pellix {

namespace {

// Profile strings are read into 256-character buffers.
constexpr size_t kScanValueChars = 255;

std::string ScanValue(const std::string& file, const char* key, const char* fallback) {
  return px::GetProfileString("Scan", key, fallback, file, kScanValueChars);
}

// Values are taken whole: a fixed read buffer would cut a long folder path
// and send the pages somewhere else.
std::optional<std::string> RegistryValue(const px::RegistryKey& key, const char* name) {
  return key.Query(name);
}

}  // namespace

int TextToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

int ResolutionIndex(int scanDpi) {
  const int index = scanDpi / 100 - 1;
  return (index >= 0 && index <= 5) ? index : -1;
}

int ResolutionOfIndex(int index) { return index * 100 + 100; }

int ClientIndex(const std::vector<std::string>& clients, const std::string& emailClient) {
  for (size_t i = 0; i < clients.size(); ++i)
    if (strcasecmp(clients[i].c_str(), emailClient.c_str()) == 0) return static_cast<int>(i) + 1;
  return 0;
}

std::string ClientOfIndex(const std::vector<std::string>& clients, int index) {
  if (index <= 0 || static_cast<size_t>(index) > clients.size()) return "None";
  return clients[static_cast<size_t>(index) - 1];
}

std::string WithTrailingSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

void ReadRegistrySettings(AppSettings& s) {
  const px::RegistryKey key(s.RegistryKeyPath);
  const bool open = key.Exists();
  auto number = [&](const char* name, int fallback) {
    if (!open) return fallback;
    const std::optional<std::string> value = RegistryValue(key, name);
    return value ? TextToInt(*value) : fallback;
  };
  std::optional<std::string> path = open ? RegistryValue(key, "PATH") : std::nullopt;
  // A stored folder without its final separator would glue the file name
  // onto the folder name, so it gets one here as the dialog would add it.
  s.PATH = (path && !path->empty()) ? WithTrailingSlash(*path)
                                    : WithTrailingSlash(px::DocumentsFolder());
  std::optional<std::string> client = open ? RegistryValue(key, "EmailClient") : std::nullopt;
  s.EmailClient = client ? *client : std::string("None");
  s.Count = number("Count", 0);
  s.ScanMode = number("ScanMode", 0);
  s.ScanDPI = number("ScanDPI", s.ScanDPIDef);
  s.ScanFormat = number("ScanFormat", 1);
  s.AutoCrop = number("AutoCrop", s.AutoCropDef == 1 ? 1 : 0);
}

AppSettings LoadAppSettings(const std::string& programFolder) {
  AppSettings s;
  AppPaths& p = s.paths;
  p.programFolder = WithTrailingSlash(programFolder.empty() ? std::string("/") : programFolder);
  const std::string folder = p.programFolder.substr(0, p.programFolder.size() - 1);
  p.settingsFile = p.programFolder + "ScanSetting.ini";
  p.enhanceLibrary = px::LibraryPath(folder, "Tembra");
  p.geometryPlugin = px::LibraryPath(folder, "GeometryTrans");
  p.colorMatchPlugin = px::LibraryPath(folder, "ColorMatch");
  p.mailLibrary = px::LibraryPath(folder, "Postrel");

  const std::string& ini = p.settingsFile;
  s.Title = ScanValue(ini, "Title", "Dorvex");
  s.Language = ScanValue(ini, "Language", "English");
  s.Scanner = ScanValue(ini, "Scanner", "Default");
  s.CMFile = ScanValue(ini, "CMFile", "CM.ini");
  s.ScanDPIDef = px::GetProfileInt("Scan", "ScanDPIDef", 300, ini);
  s.AutoCropDef = px::GetProfileInt("Scan", "AutoCropDef", 0, ini);
  s.RegistryKeyPath = "SOFTWARE\\" + s.Title + "\\" + s.Scanner;
  p.languageFile = p.programFolder + "/Language/Lang_" + s.Language + ".ini";
  p.colorMatchData = p.programFolder + s.CMFile;

  ReadRegistrySettings(s);

  s.ScannerPath = ScanValue(ini, "ScannerPath", "");
  s.Width = px::GetProfileInt("Scan", "Width", 0, ini);
  s.Height = px::GetProfileInt("Scan", "Height", 0, ini);
  // The shipped settings file names the device library beside the program.
  p.deviceLibrary = (s.ScannerPath.empty() || s.ScannerPath.front() == '/')
                        ? s.ScannerPath
                        : p.programFolder + s.ScannerPath;
  return s;
}

bool WriteAllSettings(const AppSettings& s) {
  const px::RegistryKey key(s.RegistryKeyPath);
  bool ok = key.Set("PATH", s.PATH);
  ok = ok && key.Set("EmailClient", s.EmailClient);
  ok = ok && key.Set("Count", std::to_string(s.Count));
  ok = ok && key.Set("ScanMode", std::to_string(s.ScanMode));
  ok = ok && key.Set("ScanDPI", std::to_string(s.ScanDPI));
  ok = ok && key.Set("ScanFormat", std::to_string(s.ScanFormat));
  ok = ok && key.Set("AutoCrop", std::to_string(s.AutoCrop));
  return ok;
}

bool WriteCounter(const AppSettings& s) {
  return px::RegistryKey(s.RegistryKeyPath).Set("Count", std::to_string(s.Count));
}

}  // namespace pellix
