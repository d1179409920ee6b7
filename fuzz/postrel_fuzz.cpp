#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "postrel/mail_clients.h"
#include "postrel/mime_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  postrel::MailClient client;
  postrel::ParseDesktopEntry(text, client);
  postrel::SplitExec(text);
  // The same bytes as a file name: the header lines must stay short.
  const std::string name = text.substr(0, 300);
  for (bool disposition : {false, true}) {
    const std::string parameters = postrel::NameParameters(name, disposition);
    size_t line = 0;
    for (char c : parameters) {
      line = c == '\n' ? 0 : line + 1;
      if (line > 200) __builtin_trap();
    }
  }
  postrel::BuildMessage({{name, text}}, 0, 1);
  return 0;
}
