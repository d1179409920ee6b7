// What the application decides before its window exists: whether the
// scanner's own user interface is open elsewhere, the automatic-scan flag,
// and the single-instance rule.
#pragma once

#include <string>

#include "platform/local_ipc.h"

namespace pellix {

/// Listening name of the scanner user interface's window.
inline constexpr const char* kTwainUiWindowClass = "_Varnel_TWAIN_UI_";
/// Listening name of Pellix's main window (activation and UM_START_SCAN).
inline constexpr const char* kMainWindowClass = "_dorvex_vc";
/// Name of the per-user instance lock.
inline constexpr const char* kInstanceMutex = "DorvexMutex";
/// The argument a scanner-button handler starts the application with.
inline constexpr const char* kAutoScanArgument = "--scan";

/// Private window messages of the main window.
enum : unsigned {
  UM_PAGE_SELECTED = 1028,
  UM_START_SCAN = 1035,
  UM_STATUS_TEXT = 1036,
};

/// True when the scanner's own user interface is open in another program;
/// the application then ends at once without a word.
bool TwainUiOpen();
/// 1 when the program was started with "--scan", 0 otherwise.
int AutomaticScanFlag(int argc, const char* const* argv);

enum class InstanceRole { First, Second, Failed };
/// Takes the instance lock; Second when another instance holds it.
InstanceRole ClaimInstance(px::InstanceLock& lock);

}  // namespace pellix
