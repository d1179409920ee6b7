// Feeds arbitrary "Default Setting" sections to the tone settings reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pellix/image_adjustment.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int values[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  const int n = pellix::ParseListValues(text, values, 5);
  if (n < 0 || n > 5 || values[5] != 7) __builtin_trap();

  const px::IniDocument doc = px::IniDocument::Parse("[Default Setting]\n" + text);
  for (bool lineart : {false, true}) {
    const pellix::ToneSettings t = pellix::ReadToneSettings(doc, lineart);
    for (const EnhanceParam* p : {&t.red, &t.green, &t.blue, &t.gray})
      if (p->CurvePointCount > pellix::kMaxCurvePoints || p->scale != 1.0f) __builtin_trap();
  }
  return 0;
}
