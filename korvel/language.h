// The language list of Language/LangSetting.ini, the chosen language, and the
// text lookup every visible text goes through.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace korvel {

/// `text` cut to at most `maxChars` characters as the wide text of the user
/// interface counts them (one for each character, two beyond the basic
/// plane); a character is never split.
std::string CutToCharacters(std::string text, std::size_t maxChars);

struct LanguageEntry {
  std::string name;  // shown in the language menu
  std::string file;  // full path of its language file
};

class LanguageTable {
 public:
  /// Reads sections "0", "1", ... of LangSetting.ini in the library folder,
  /// stopping at the first without a Name or a LangFile.
  void Load(const std::string& libraryFolder);

  /// Index of the installed language (LanguageTab), 0 when unknown.
  int DefaultIndex(const std::string& installLanguage) const;

  /// Chooses a language; an index without an entry switches to the built-in
  /// texts and keeps the rest. Also reads the language's Font and BigTextField.
  void Select(int index);

  /// The text for a string id: the language file's non-empty text, else the
  /// built-in one (empty when there is none); at most 259 characters.
  std::string LookUp(int id) const;

  const std::vector<LanguageEntry>& Entries() const { return entries_; }
  bool BuiltIn() const { return builtIn_; }
  int Index() const { return index_; }
  int FontSet() const { return fontSet_; }
  int BigText() const { return bigText_; }
  const std::string& CurrentFile() const { return currentFile_; }
  /// "help_<code>.html", the code taken from the language file's name.
  const std::string& HelpFileName() const { return helpFileName_; }

  /// The code part of a language file path: the last six characters (not
  /// bytes), cut before their first point ("/x/Lang_en.ini" -> "en").
  static std::string CodeFromPath(const std::string& path);

 private:
  std::string settingPath_;
  std::vector<LanguageEntry> entries_;
  bool builtIn_ = true;
  int index_ = 0;
  int fontSet_ = 0;
  int bigText_ = 0;
  std::string currentFile_;
  std::string helpFileName_ = "help_en.html";
};

}  // namespace korvel
