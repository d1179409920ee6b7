// Recording stand-in for the filter library.
#include <string>

#include "interfaces/export.h"
#include "interfaces/filter_api.h"
#include "quorra/tests/standin_log.h"

PX_EXPORT int FilterProcess(int number, unsigned char* image, int mode, int rows, int rowLength) {
  standin::Record("Filter.FilterProcess " + std::to_string(number) + " " +
                  standin::NameOf(image) + " " + std::to_string(mode) + " " +
                  std::to_string(rows) + " " + std::to_string(rowLength));
  return 1;
}
