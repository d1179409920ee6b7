// Starting a mail program without a shell and without waiting for it.
#pragma once

#include <string>
#include <vector>

namespace postrel {

/// Runs argv[0] (a full path) with exactly these arguments, detached: the
/// program is started by a short-lived intermediate process that is reaped
/// before returning, so the program is adopted by init and never becomes our
/// zombie. True when the program was executed; false when it could not be
/// (no such file, not executable, no processes left).
bool StartDetached(const std::vector<std::string>& argv);

}  // namespace postrel
