// INI files with the private-profile behaviour the suite's settings files were
// written for: case-insensitive section and key names, values trimmed, the
// first of duplicate sections or keys wins, a missing key gives the caller's
// default. Writes keep every other line byte for byte and replace the file
// atomically (temporary file in the same folder, then rename). UTF-8; LF or
// CRLF accepted, and new lines follow the file's own ending.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace px {

/// An INI text held in memory; the file functions below load, use and save it.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view text);
  /// Loads `path`; a missing or unreadable file gives an empty document.
  static IniDocument Load(const std::string& path);

  /// Trimmed value of the first matching key of the first matching section;
  /// a matching pair of surrounding quotes (" or ') is taken off.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;
  std::vector<std::string> SectionNames() const;
  /// key, value pairs of the first matching section, in file order.
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

  /// Sets a key, creating the section at the end when needed.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  /// Removes every line of the key in the first matching section.
  void Remove(std::string_view section, std::string_view key);
  /// Removes the first matching section with its lines.
  void RemoveSection(std::string_view section);

  std::string Serialize() const;
  /// Writes atomically; false (and the old file intact) on any failure.
  bool Save(const std::string& path) const;

 private:
  struct Line {
    std::string text;  // without the line ending
    std::string ending;  // "\n", "\r\n" or "" for a last line without one
  };
  // [first, last) line indexes of the first section named `section`, header included.
  bool FindSection(std::string_view section, size_t& header, size_t& end) const;
  std::string NewLineEnding() const;

  std::vector<Line> lines_;
};

/// Private-profile style access to a file. `maxChars` cuts the value as a
/// fixed-size buffer would (259 for the usual 260-byte buffers).
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string& path,
                             size_t maxChars = std::string::npos);
/// Optional sign and leading decimal digits; anything else gives 0. A missing
/// key or an empty value gives `defaultValue`.
int GetProfileInt(std::string_view section, std::string_view key, int defaultValue,
                  const std::string& path);
/// Writes one key; a null value removes the key, a null key the whole section.
bool WriteProfileString(std::string_view section, const char* key, const char* value,
                        const std::string& path);

/// The integer rule of GetProfileInt applied to a text.
int ParseProfileInt(std::string_view text);

/// Replaces `path` with `contents` through a temporary file in the same
/// folder; the previous file survives any failure.
bool WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace px
