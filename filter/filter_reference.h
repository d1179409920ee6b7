// A plain, slow rendition of every filter, written straight from the
// filters' rules with no shared code. The tests hold the library's loops
// against it byte for byte.
#pragma once

#include <cstdint>
#include <vector>

namespace px::filter::reference {

/// Applies filter `number` to `image` (rows x rowLength bytes) like
/// FilterProcess does.
void Apply(int number, std::vector<std::uint8_t>& image, int mode, int rows, int rowLength);

}  // namespace px::filter::reference
