#include "platform/special_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace px {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return (value && *value) ? std::string(value) : std::string();
}

std::string StripSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string Home() { return StripSlash(Env("HOME")); }

// XDG_DOCUMENTS_DIR="$HOME/Documents" in user-dirs.dirs.
std::string DocumentsFromUserDirs() {
  std::ifstream in(ConfigFolder() + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DOCUMENTS_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    if (value.empty() || value.front() != '/') return std::string();
    return StripSlash(value);
  }
  return std::string();
}

}  // namespace

std::string ConfigFolder() {
  const std::string xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty()) return StripSlash(xdg);
  return Home() + "/.config";
}

std::string DocumentsFolder() {
  std::string folder = StripSlash(Env("XDG_DOCUMENTS_DIR"));
  if (folder.empty()) folder = DocumentsFromUserDirs();
  if (!folder.empty() && PathExists(folder)) return folder;
  const std::string home = Home();
  return home.empty() ? std::string("/") : home;
}

std::string LocalAppDataFolder() {
  const std::string xdg = Env("XDG_DATA_HOME");
  if (!xdg.empty()) return StripSlash(xdg);
  return Home() + "/.local/share";
}

std::string TempFolder() {
  const std::string tmp = Env("TMPDIR");
  return tmp.empty() ? std::string("/tmp") : StripSlash(tmp);
}

std::string RuntimeFolder() {
  const std::string runtime = Env("XDG_RUNTIME_DIR");
  return runtime.empty() ? std::string("/tmp") : StripSlash(runtime);
}

std::string UserRuntimePath(const std::string& name) {
  return RuntimeFolder() + "/" + name + "-" + std::to_string(static_cast<unsigned long>(getuid()));
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool CreateFolders(const std::string& path) {
  if (path.empty()) return false;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace px
