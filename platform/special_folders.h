// The user's folders, as the desktop names them. No result ends in "/".
#pragma once

#include <string>

namespace px {

/// XDG documents folder (XDG_DOCUMENTS_DIR, then user-dirs.dirs), else $HOME,
/// else "/".
std::string DocumentsFolder();
/// ${XDG_DATA_HOME:-$HOME/.local/share}: per-user application data.
std::string LocalAppDataFolder();
/// ${XDG_CONFIG_HOME:-$HOME/.config}.
std::string ConfigFolder();
/// $TMPDIR, else /tmp.
std::string TempFolder();
/// ${XDG_RUNTIME_DIR:-/tmp}: where per-user locks and sockets live.
std::string RuntimeFolder();
/// A per-user path in the runtime folder for a named lock or socket.
std::string UserRuntimePath(const std::string& name);
/// Creates the folder and its parents; true when it exists afterwards.
bool CreateFolders(const std::string& path);
/// True when a regular file or folder exists at path.
bool PathExists(const std::string& path);

}  // namespace px
