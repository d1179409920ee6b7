// Feeds arbitrary text to the INI engine: parse, query, edit, serialise.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  px::IniDocument doc = px::IniDocument::Parse(text);
  // Serialising an untouched document gives the input back (after a BOM).
  std::string again = doc.Serialize();
  if (!(text.substr(0, 3) == "\xEF\xBB\xBF") && again != text) __builtin_trap();
  for (const std::string& section : doc.SectionNames()) {
    for (const auto& [key, value] : doc.Entries(section)) {
      if (!doc.Get(section, key)) __builtin_trap();
    }
  }
  doc.Set("Default Setting", "BGInfo", "30 30 30 55 30");
  if (doc.Get("default setting", "bginfo").value_or("") != "30 30 30 55 30") __builtin_trap();
  doc.Remove("Default Setting", "BGInfo");
  doc.RemoveSection("Scan");
  (void)doc.Serialize();
  (void)px::ParseProfileInt(text);
  return 0;
}
