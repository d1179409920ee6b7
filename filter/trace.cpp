// The optional diagnostic trace: each line, with its terminating zero, goes
// as one datagram to the per-user "DBMonitor" socket, and is dropped when
// nothing listens there.
#include <cstring>
#include <string_view>

#include "filter/filter_core.h"
#include "platform/local_ipc.h"

namespace px::filter {

void TraceLine(const char* text) {
  px::SendLocalDatagram("DBMonitor", std::string_view(text, std::strlen(text) + 1));
}

}  // namespace px::filter
