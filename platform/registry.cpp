#include "platform/registry.h"

#include "platform/ini_file.h"
#include "platform/special_folders.h"

namespace px {

std::string RegistryKey::StorePath() { return ConfigFolder() + "/pellix/registry.ini"; }

bool RegistryKey::Exists() const { return IniDocument::Load(StorePath()).HasSection(keyPath_); }

std::optional<std::string> RegistryKey::Query(const std::string& name) const {
  return IniDocument::Load(StorePath()).Get(keyPath_, name);
}

bool RegistryKey::Set(const std::string& name, const std::string& value) const {
  if (!CreateFolders(ConfigFolder() + "/pellix")) return false;
  return WriteProfileString(keyPath_, name.c_str(), value.c_str(), StorePath());
}

}  // namespace px
