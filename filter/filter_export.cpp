// The library's only export. No exception may leave it: the filters report
// nothing, so anything thrown (only allocation can) still answers 1.
#include <type_traits>

#include "filter/filter_core.h"
#include "interfaces/export.h"
#include "interfaces/filter_api.h"

PX_EXPORT int FilterProcess(int number, unsigned char* image, int mode, int rows, int rowLength) {
  try {
    return px::filter::RunFilter(number, image, mode, rows, rowLength);
  } catch (...) {
    return 1;
  }
}

static_assert(std::is_same_v<decltype(&FilterProcess), FilterProcessFn>);
