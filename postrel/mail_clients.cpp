#include "postrel/mail_clients.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/ini_file.h"

namespace postrel {

namespace {

constexpr const char* kGroup = "Desktop Entry";
// Desktop entries are small; a huge file in an applications folder is junk.
constexpr off_t kMaxEntryBytes = 256 * 1024;
// Applications folders hold vendor subfolders one or two levels deep.
constexpr int kMaxDepth = 4;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Lower(x) == Lower(y);
         });
}

// The desktop-entry escapes of string values: \s \n \t \r \\.
std::string Unescape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += next; break;
    }
  }
  return out;
}

bool IsTrue(const std::optional<std::string>& value) { return value && (*value == "true" || *value == "1"); }

// Splits a ";"-separated list (with "\;" for a literal ";").
std::vector<std::string> SplitList(const std::string& value) {
  std::vector<std::string> items;
  std::string current;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') {
      current += ';';
      ++i;
    } else if (value[i] == ';') {
      items.push_back(current);
      current.clear();
    } else {
      current += value[i];
    }
  }
  if (!current.empty()) items.push_back(current);
  return items;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadSmallFile(const std::string& path, std::string& text) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxEntryBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Collects (desktop id, path) of every *.desktop file below `folder`; the id
// is the path relative to the folder with "/" turned into "-".
void CollectEntries(const std::string& folder, const std::string& prefix, int depth,
                    std::vector<std::pair<std::string, std::string>>& out) {
  if (depth > kMaxDepth) return;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      CollectEntries(path, prefix + name + "-", depth + 1, out);
    } else if (S_ISREG(st.st_mode) && name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0) {
      out.emplace_back(prefix + name, path);
    }
  }
}

// Names travel in a "|"-separated list and must stay one line.
std::string CleanName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '|') {
      out += '/';
    } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
      out += c;
    }
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::vector<std::string> ApplicationFolders() {
  std::vector<std::string> folders;
  std::string home = Env("XDG_DATA_HOME");
  if (home.empty() || home.front() != '/') {
    const std::string user = Env("HOME");
    home = user.empty() ? std::string() : user + "/.local/share";
  }
  if (!home.empty()) folders.push_back(home + "/applications");
  std::string dirs = Env("XDG_DATA_DIRS");
  if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
  size_t pos = 0;
  while (pos <= dirs.size()) {
    size_t colon = dirs.find(':', pos);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(pos, colon - pos);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    // Relative entries are meaningless (and would depend on our working folder).
    if (!dir.empty() && dir.front() == '/') folders.push_back(dir + "/applications");
    pos = colon + 1;
  }
  return folders;
}

std::vector<std::string> SplitExec(const std::string& exec) {
  std::vector<std::string> words;
  std::string current;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size() && std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
        current += exec[++i];
      } else {
        current += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(current);
      current.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      quoted = true;
    } else if (c == '%' && i + 1 < exec.size()) {
      // Field codes stand for what a launcher passes; we pass our own.
      if (exec[++i] == '%') current += '%';
    } else {
      current += c;
    }
  }
  if (quoted) return {};
  if (inWord) words.push_back(current);
  // A word that was only a field code leaves nothing behind.
  words.erase(std::remove(words.begin(), words.end(), std::string()), words.end());
  return words;
}

ComposeForm FormOfProgram(const std::string& program) {
  std::string name = BaseName(program);
  std::transform(name.begin(), name.end(), name.begin(), Lower);
  if (name == "thunderbird" || name == "thunderbird-bin" || name == "icedove" || name == "betterbird" ||
      name == "seamonkey")
    return ComposeForm::kMozilla;
  if (name == "evolution") return ComposeForm::kEvolution;
  if (name == "geary") return ComposeForm::kGeary;
  if (name == "kmail") return ComposeForm::kKMail;
  if (name == "claws-mail" || name == "sylpheed") return ComposeForm::kClaws;
  return ComposeForm::kGeneric;
}

bool ParseDesktopEntry(const std::string& text, MailClient& client) {
  const px::IniDocument doc = px::IniDocument::Parse(text);
  if (doc.Get(kGroup, "Type").value_or("") != "Application") return false;
  if (IsTrue(doc.Get(kGroup, "Hidden")) || IsTrue(doc.Get(kGroup, "NoDisplay"))) return false;
  bool mailto = false;
  for (const std::string& type : SplitList(doc.Get(kGroup, "MimeType").value_or("")))
    mailto = mailto || EqualNoCase(type, "x-scheme-handler/mailto");
  if (!mailto) return false;
  client.name = CleanName(Unescape(doc.Get(kGroup, "Name").value_or("")));
  if (client.name.empty()) return false;
  const std::vector<std::string> words = SplitExec(Unescape(doc.Get(kGroup, "Exec").value_or("")));
  size_t first = 0;
  // "env VAR=value program ..." starts program with a changed environment.
  if (!words.empty() && BaseName(words[0]) == "env") {
    first = 1;
    while (first < words.size() && words[first].find('=') != std::string::npos) ++first;
  }
  if (first >= words.size()) return false;
  client.program = words[first];
  client.tryExec = Unescape(doc.Get(kGroup, "TryExec").value_or(""));
  client.form = FormOfProgram(client.program);
  return true;
}

std::vector<MailClient> FindMailClients() {
  std::vector<MailClient> clients;
  std::set<std::string> seenIds;
  for (const std::string& folder : ApplicationFolders()) {
    std::vector<std::pair<std::string, std::string>> entries;
    CollectEntries(folder, "", 0, entries);
    for (const auto& [id, path] : entries) {
      // The first entry with an id hides the others, even when it is hidden
      // itself: that is how a user removes a system application.
      if (!seenIds.insert(id).second) continue;
      std::string text;
      MailClient client;
      if (!ReadSmallFile(path, text) || !ParseDesktopEntry(text, client)) continue;
      // An entry whose TryExec program is absent is not installed.
      if (!client.tryExec.empty() && FindProgram(client.tryExec).empty()) continue;
      if (EqualNoCase(client.name, "None") || EqualNoCase(client.name, kDraftClientName)) continue;
      const bool duplicate = std::any_of(clients.begin(), clients.end(), [&](const MailClient& c) {
        return EqualNoCase(c.name, client.name);
      });
      if (duplicate) continue;
      client.desktopId = id;
      clients.push_back(std::move(client));
    }
  }
  std::stable_sort(clients.begin(), clients.end(), [](const MailClient& a, const MailClient& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
  });
  return clients;
}

std::string FindProgram(const std::string& program) {
  auto executable = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
  };
  if (program.empty()) return std::string();
  if (program.find('/') != std::string::npos) return program.front() == '/' && executable(program) ? program : "";
  std::string path = Env("PATH");
  if (!std::getenv("PATH")) {
    // No PATH at all: the system's default search path, as execvp uses.
    char buffer[1024] = "";
    if (::confstr(_CS_PATH, buffer, sizeof buffer) > 0) path = buffer;
  }
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t colon = path.find(':', pos);
    if (colon == std::string::npos) colon = path.size();
    const std::string dir = path.substr(pos, colon - pos);
    // Only absolute folders: an empty or relative PATH entry would make the
    // answer depend on the host's working folder.
    if (!dir.empty() && dir.front() == '/') {
      const std::string candidate = dir + "/" + program;
      if (executable(candidate)) return candidate;
    }
    pos = colon + 1;
  }
  return std::string();
}

std::string PercentEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::vector<std::string> ComposeCommand(const MailClient& client, const std::vector<std::string>& files) {
  const ComposeForm form = client.form;
  const std::string program = FindProgram(form == ComposeForm::kGeneric ? "xdg-email" : client.program);
  if (program.empty()) return {};
  std::vector<std::string> argv{program};
  switch (form) {
    case ComposeForm::kMozilla: {
      // Commas and quotes would end the list or the value; the URLs are
      // percent-encoded, so neither can appear inside one.
      std::string list;
      for (const std::string& file : files) list += (list.empty() ? "" : ",") + ("file://" + PercentEncode(file));
      argv.push_back("-compose");
      argv.push_back(files.empty() ? std::string() : "attachment='" + list + "'");
      if (files.empty()) argv.pop_back();
      break;
    }
    case ComposeForm::kEvolution:
    case ComposeForm::kGeary: {
      std::string uri = "mailto:";
      for (size_t i = 0; i < files.size(); ++i) uri += (i ? "&attach=" : "?attach=") + PercentEncode(files[i]);
      argv.push_back(uri);
      break;
    }
    case ComposeForm::kKMail:
    case ComposeForm::kGeneric:
      if (form == ComposeForm::kKMail) argv.push_back("--composer");
      for (const std::string& file : files) {
        argv.push_back("--attach");
        argv.push_back(file);
      }
      break;
    case ComposeForm::kClaws:
      argv.push_back("--compose");
      if (!files.empty()) argv.push_back("--attach");
      argv.insert(argv.end(), files.begin(), files.end());
      break;
  }
  return argv;
}

}  // namespace postrel
