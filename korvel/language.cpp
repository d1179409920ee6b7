#include "korvel/language.h"

#include <utility>

#include "korvel/string_table.h"
#include "platform/ini_file.h"

namespace korvel {

namespace {
// Length of the UTF-8 sequence that starts with `lead`; a stray byte counts
// as one character of its own.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// Byte length of the first `count` characters (units of wide text) of
// `text`, never ending inside a character.
std::size_t PrefixBytes(const std::string& text, std::size_t count) {
  std::size_t bytes = 0, units = 0;
  while (bytes < text.size()) {
    std::size_t n = SequenceLength(static_cast<unsigned char>(text[bytes]));
    if (bytes + n > text.size()) n = 1;
    for (std::size_t i = 1; i < n; ++i) {
      if ((static_cast<unsigned char>(text[bytes + i]) & 0xC0) != 0x80) {
        n = 1;
        break;
      }
    }
    const std::size_t width = n == 4 ? 2 : 1;
    if (units + width > count) break;
    units += width;
    bytes += n;
  }
  return bytes;
}
}  // namespace

std::string CutToCharacters(std::string text, std::size_t maxChars) {
  // Every character takes at least one byte, so a short text needs no count.
  if (text.size() > maxChars) text.resize(PrefixBytes(text, maxChars));
  return text;
}

void LanguageTable::Load(const std::string& libraryFolder) {
  settingPath_ = libraryFolder + "/Language/LangSetting.ini";
  entries_.clear();
  const px::IniDocument doc = px::IniDocument::Load(settingPath_);
  for (int n = 0;; ++n) {
    const std::string section = std::to_string(n);
    std::string name = doc.Get(section, "Name").value_or("");
    std::string file = doc.Get(section, "LangFile").value_or("");
    if (name.empty() || file.empty()) break;
    entries_.push_back({CutToCharacters(name, 259),
                        CutToCharacters(libraryFolder + "/Language/" + file, 259)});
  }
  builtIn_ = entries_.empty();
}

int LanguageTable::DefaultIndex(const std::string& installLanguage) const {
  return px::GetProfileInt("LanguageTab", installLanguage, 0, settingPath_);
}

std::string LanguageTable::CodeFromPath(const std::string& path) {
  // Step back over six characters: continuation bytes belong to the
  // character before them.
  std::size_t start = path.size();
  for (int chars = 0; chars < 6 && start > 0; ++chars) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) --start;
  }
  const std::string tail = path.substr(start);
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
  if (!builtIn_) text = px::GetProfileString("String Table", std::to_string(static_cast<unsigned>(id)), "", currentFile_);
  if (text.empty()) {
    const char* builtIn = BuiltInString(id);
    text = builtIn ? builtIn : "";
  }
  return CutToCharacters(std::move(text), 259);
}

}  // namespace korvel
