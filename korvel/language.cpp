#include "korvel/language.h"

#include "korvel/string_table.h"
#include "platform/ini_file.h"

namespace korvel {

void LanguageTable::Load(const std::string& libraryFolder) {
  settingPath_ = libraryFolder + "/Language/LangSetting.ini";
  entries_.clear();
  const px::IniDocument doc = px::IniDocument::Load(settingPath_);
  for (int n = 0;; ++n) {
    const std::string section = std::to_string(n);
    std::string name = doc.Get(section, "Name").value_or("");
    std::string file = doc.Get(section, "LangFile").value_or("");
    if (name.empty() || file.empty()) break;
    if (name.size() > 259) name.resize(259);
    std::string path = libraryFolder + "/Language/" + file;
    if (path.size() > 259) path.resize(259);
    entries_.push_back({name, path});
  }
  builtIn_ = entries_.empty();
}

int LanguageTable::DefaultIndex(const std::string& installLanguage) const {
  return px::GetProfileInt("LanguageTab", installLanguage, 0, settingPath_);
}

std::string LanguageTable::CodeFromPath(const std::string& path) {
  std::string tail = path.size() > 6 ? path.substr(path.size() - 6) : path;
  const size_t point = tail.find('.');
  return point == std::string::npos ? tail : tail.substr(0, point);
}

void LanguageTable::Select(int index) {
  index_ = index;
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) {
    builtIn_ = true;
  } else {
    builtIn_ = false;
    currentFile_ = entries_[static_cast<size_t>(index)].file;
    helpFileName_ = "help_" + CodeFromPath(currentFile_) + ".html";
  }
  const std::string section = std::to_string(index);
  fontSet_ = px::GetProfileInt(section, "Font", 0, settingPath_);
  bigText_ = px::GetProfileInt(section, "BigTextField", 0, settingPath_);
  // Only four font sets exist; anything else uses the Western one.
  if (fontSet_ < 0 || fontSet_ > 3) fontSet_ = 0;
}

std::string LanguageTable::LookUp(int id) const {
  std::string text;
  if (!builtIn_) text = px::GetProfileString("String Table", std::to_string(static_cast<unsigned>(id)), "", currentFile_, 259);
  if (text.empty()) {
    const char* builtIn = BuiltInString(id);
    text = builtIn ? builtIn : "";
  }
  if (text.size() > 259) text.resize(259);
  return text;
}

}  // namespace korvel
