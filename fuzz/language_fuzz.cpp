// Feeds arbitrary language files to the text lookup and arbitrary client
// names to the message substitution.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pellix/language.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first line is the client name, the rest the language file.
  const size_t newline = input.find('\n');
  const std::string_view client = input.substr(0, newline == std::string_view::npos ? 0 : newline);
  const std::string_view file =
      newline == std::string_view::npos ? input : input.substr(newline + 1);
  const px::IniDocument doc = px::IniDocument::Parse(file);

  for (unsigned id = 32768; id <= 32815; ++id) {
    const std::string text = pellix::CLanguage::Lookup(doc, id);
    const std::string_view builtIn = pellix::BuiltInString(id);
    // Every table id has a text; a file's text is cut to its buffer.
    if (!builtIn.empty() && text.empty()) __builtin_trap();
    if (text != builtIn && text.size() > 259) __builtin_trap();
    const std::string message = pellix::SubstituteFirst(text, client);
    const size_t at = text.find("%s");
    const size_t want =
        at == std::string::npos ? text.size() : text.size() - 2 + client.size();
    if (message.size() != want) __builtin_trap();
    if (at != std::string::npos && message.compare(at, client.size(), client) != 0)
      __builtin_trap();
  }
  return 0;
}
