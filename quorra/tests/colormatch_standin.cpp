// Recording stand-in for the colour-matching library.
#include <string>

#include "interfaces/colormatch_api.h"
#include "interfaces/export.h"
#include "quorra/tests/standin_log.h"

PX_EXPORT int SetColorMatchFileName(const char* path) {
  standin::Record(std::string("ColorMatch.SetColorMatchFileName ") + (path ? path : "null"));
  return 1;
}

PX_EXPORT int ColorMatchFun(unsigned char* image, int height, int width, int order) {
  standin::Record("ColorMatch.ColorMatchFun " + standin::NameOf(image) + " " +
                  std::to_string(height) + " " + std::to_string(width) + " " +
                  std::to_string(order));
  return 1;
}

#ifndef STANDIN_OMIT_FUN48
PX_EXPORT int ColorMatchFun30_36(void* image, int height, int width, int order) {
  standin::Record("ColorMatch.ColorMatchFun30_36 " + standin::NameOf(image) + " " +
                  std::to_string(height) + " " + std::to_string(width) + " " +
                  std::to_string(order));
  return 1;
}
#endif
