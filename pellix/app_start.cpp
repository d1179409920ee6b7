#include "pellix/app_start.h"

#include <cstring>

#include "platform/special_folders.h"

namespace pellix {

bool TwainUiOpen() { return px::LocalSocketListening(kTwainUiWindowClass); }

int AutomaticScanFlag(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] && std::strcmp(argv[i], kAutoScanArgument) == 0) return 1;
  return 0;
}

InstanceRole ClaimInstance(px::InstanceLock& lock) {
  if (lock.Acquire(kInstanceMutex)) return InstanceRole::First;
  // Acquire fails both when another process holds the lock and when the
  // lock file cannot be made; only the first means a running instance.
  return px::PathExists(px::UserRuntimePath(kInstanceMutex) + ".lock") ? InstanceRole::Second
                                                             : InstanceRole::Failed;
}

}  // namespace pellix
