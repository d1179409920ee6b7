// Pellix's user-visible texts: looked up first in section "String" of the
// current language file, then in the built-in English table.
#pragma once

#include <string>
#include <string_view>

namespace px {
class IniDocument;
}

namespace pellix {

// Message and label ids used by the core.
enum : unsigned {
  IDS_SCAN = 32771,
  IDS_CANCEL = 32782,
  IDS_INIT_FAILED = 32790,
  IDS_NO_PAPER = 32791,
  IDS_NO_CALIBRATION = 32803,
  IDS_NONE = 32809,
  IDS_CLIENT_MISSING = 32810,
  IDS_SELECT_CLIENT = 32811,
  IDS_SEND_FAILED = 32812,
};

/// The built-in English text of `id`, or an empty text for an unknown id.
std::string_view BuiltInString(unsigned id);

class CLanguage {
 public:
  CLanguage() = default;
  explicit CLanguage(std::string languageFile) : file_(std::move(languageFile)) {}
  void SetFile(std::string languageFile) { file_ = std::move(languageFile); }
  const std::string& File() const { return file_; }

  /// The language file's text for `id`, or the built-in one when the file,
  /// the key or its value is missing or empty. Never fails.
  std::string GetLangString(unsigned id) const;
  /// The same lookup in an already parsed language file.
  static std::string Lookup(const px::IniDocument& languageFile, unsigned id);

 private:
  std::string file_;
};

/// `text` with its first "%s" replaced by `argument`; every other character,
/// "%" included, is kept literally. Language files are outside data and are
/// never used as a format string.
std::string SubstituteFirst(std::string_view text, std::string_view argument);

}  // namespace pellix
