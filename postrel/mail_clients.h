// The user's mail programs: applications whose freedesktop desktop entries
// say they handle mailto: links, and how each one is asked to open a new
// message with attachments.
#pragma once

#include <string>
#include <vector>

namespace postrel {

/// The always-present client that writes a draft .eml file.
inline constexpr const char* kDraftClientName = "Mail draft file";

/// How a program takes attachments on its command line.
enum class ComposeForm {
  kMozilla,    // -compose "attachment='file:///a,file:///b'"
  kEvolution,  // mailto:?attach=/a&attach=/b
  kGeary,      // mailto:?attach=/a&attach=/b
  kKMail,      // --attach /a --attach /b
  kClaws,      // --attach /a /b
  kGeneric,    // unknown: xdg-email --attach /a --attach /b
};

struct MailClient {
  std::string name;        // the entry's Name, as shown to the user
  std::string desktopId;   // e.g. "org.example.Mail.desktop"
  std::string program;     // first word of Exec (after any "env VAR=x")
  std::string tryExec;     // TryExec, when given
  ComposeForm form = ComposeForm::kGeneric;
};

/// Folders searched for desktop entries, most important first:
/// $XDG_DATA_HOME (default ~/.local/share) then $XDG_DATA_DIRS (default
/// /usr/local/share:/usr/share), each + "/applications".
std::vector<std::string> ApplicationFolders();

/// The installed mailto: handlers, one per Name, in Name order. An entry
/// named "None" or like the draft client is left out (the application
/// reserves the one and the other is ours).
std::vector<MailClient> FindMailClients();

/// Parses one desktop entry's text; false when it is not a usable mailto:
/// handler (no Type=Application, Hidden or NoDisplay, no mailto MimeType, no
/// Name or Exec). Does not look at PATH.
bool ParseDesktopEntry(const std::string& text, MailClient& client);

/// Splits an Exec value into words by the desktop-entry quoting rules and
/// drops field codes (%u, %F, ...). Empty when the quoting is broken.
std::vector<std::string> SplitExec(const std::string& exec);

/// Which command-line form a program takes, from its file name.
ComposeForm FormOfProgram(const std::string& program);

/// Full path of an executable: `program` itself when it holds a "/",
/// else the first match on $PATH. Empty when there is none.
std::string FindProgram(const std::string& program);

/// The argument vector (argv[0] = the program's full path) that opens a
/// compose window of `client` with `files` (absolute paths) attached. Empty
/// when the program or, for unknown clients, xdg-email cannot be found.
std::vector<std::string> ComposeCommand(const MailClient& client, const std::vector<std::string>& files);

/// "%"-encodes every byte but unreserved URI characters and "/".
std::string PercentEncode(const std::string& text);

}  // namespace postrel
