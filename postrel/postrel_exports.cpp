// The three exports of the mail library. Text is UTF-8; GetMailClient's
// lengths are bytes including the terminating zero.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "interfaces/export.h"
#include "interfaces/postrel_api.h"
#include "platform/ini_file.h"
#include "platform/special_folders.h"
#include "postrel/launch.h"
#include "postrel/mail_clients.h"
#include "postrel/mime_message.h"

namespace {

using postrel::kDraftClientName;

// Mail servers refuse far less; beyond this the draft would only fail later.
constexpr uint64_t kMaxDraftBytes = 512ull << 20;

// The list text handed out by the last GetMailClient(null). The caller sizes
// its buffer from that call, so the buffer call copies this same text: a
// program installed in between cannot make the second answer longer than
// the buffer.
std::string& ListSnapshot() {
  static std::string snapshot;
  return snapshot;
}

std::string ClientListText() {
  std::string text;
  for (const postrel::MailClient& client : postrel::FindMailClients()) text += client.name + "|";
  return text + kDraftClientName;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsDraftClient(const std::string& name) { return EqualNoCase(name, kDraftClientName); }

// The application compares client names without regard to case; an exact
// match still wins when two names differ only in case.
bool FindClient(const std::string& name, postrel::MailClient& found) {
  const std::vector<postrel::MailClient> clients = postrel::FindMailClients();
  for (const auto& c : clients)
    if (c.name == name) return found = c, true;
  for (const auto& c : clients)
    if (EqualNoCase(c.name, name)) return found = c, true;
  return false;
}

// "a|b|" -> absolute paths of existing regular files; empty pieces are
// skipped. False when a named file is missing or unreadable: the user would
// otherwise get a message without the page they meant to send.
bool AttachmentPaths(const char* list, std::vector<std::string>& paths) {
  std::string cwd;
  const std::string text = list;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t bar = text.find('|', pos);
    if (bar == std::string::npos) bar = text.size();
    std::string path = text.substr(pos, bar - pos);
    pos = bar + 1;
    if (path.empty()) continue;
    if (path.front() != '/') {
      if (cwd.empty()) {
        char buffer[PATH_MAX];
        if (!::getcwd(buffer, sizeof buffer)) return false;
        cwd = buffer;
      }
      path = cwd + "/" + path;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) return false;
    paths.push_back(path);
  }
  return !paths.empty();
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

uint64_t BoundarySeed(std::time_t now) {
  try {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
  } catch (...) {
    return static_cast<uint64_t>(now) * 6364136223846793005ull ^ static_cast<uint64_t>(::getpid());
  }
}

// "<documents>/Scanned document 2026-12-07 10.59.06.eml", numbered when a
// draft of that second exists already.
std::string DraftPath(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
  const std::string base = px::DocumentsFolder() + (px::DocumentsFolder() == "/" ? "" : "/") +
                           "Scanned document " + stamp;
  std::string path = base + ".eml";
  for (int n = 2; px::PathExists(path) && n < 1000; ++n) path = base + " (" + std::to_string(n) + ").eml";
  return path;
}

bool WriteDraft(const std::vector<std::string>& paths) {
  std::vector<postrel::Attachment> attachments;
  uint64_t total = 0;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    postrel::Attachment a;
    a.fileName = BaseName(path);
    a.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    total += a.bytes.size();
    if (total > kMaxDraftBytes) return false;
    attachments.push_back(std::move(a));
  }
  const std::time_t now = std::time(nullptr);
  const std::string path = DraftPath(now);
  if (!px::WriteFileAtomically(path, postrel::BuildMessage(attachments, now, BoundarySeed(now)))) return false;
  // Opening it is a courtesy: the draft is written either way, in the
  // user's documents folder.
  const std::string opener = postrel::FindProgram("xdg-open");
  if (!opener.empty()) postrel::StartDetached({opener, path});
  return true;
}

}  // namespace

PX_EXPORT int GetMailClient(char* buffer) {
  try {
    if (!buffer) {
      ListSnapshot() = ClientListText();
      // A length the int result cannot carry is no list at all.
      if (ListSnapshot().size() >= static_cast<size_t>(INT_MAX)) ListSnapshot().clear();
      return ListSnapshot().empty() ? 0 : static_cast<int>(ListSnapshot().size() + 1);
    }
    if (ListSnapshot().empty()) ListSnapshot() = ClientListText();
    const std::string& text = ListSnapshot();
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
  } catch (...) {
    return 0;
  }
}

PX_EXPORT int IsClientReady(const char* client) {
  try {
    if (!client || !*client) return 0;
    if (IsDraftClient(client)) return 1;
    postrel::MailClient found;
    return FindClient(client, found) && !postrel::FindProgram(found.program).empty() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

PX_EXPORT int SendMail(const char* client, const char* attachments) {
  try {
    if (!client || !attachments || !*client) return 0;
    std::vector<std::string> paths;
    if (!AttachmentPaths(attachments, paths)) return 0;
    if (IsDraftClient(client)) return WriteDraft(paths) ? 1 : 0;
    postrel::MailClient found;
    if (!FindClient(client, found)) return 0;
    const std::vector<std::string> argv = postrel::ComposeCommand(found, paths);
    return !argv.empty() && postrel::StartDetached(argv) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

static_assert(std::is_same_v<decltype(&GetMailClient), GetMailClientFn>);
static_assert(std::is_same_v<decltype(&IsClientReady), IsClientReadyFn>);
static_assert(std::is_same_v<decltype(&SendMail), SendMailFn>);
