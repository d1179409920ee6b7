#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace px {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "[name]" -> name (trimmed); anything else is not a header.
bool SectionHeader(std::string_view line, std::string_view& name) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// "key = value" -> trimmed key and value; comment lines and lines without "="
// are not entries.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return false;
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return !key.empty();
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  // A byte-order mark is not part of the first line.
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t nl = text.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(text.substr(pos));
      pos = text.size();
    } else {
      line.text = std::string(text.substr(pos, nl - pos));
      line.ending = "\n";
      pos = nl + 1;
    }
    if (!line.text.empty() && line.text.back() == '\r' && !line.ending.empty()) {
      line.text.pop_back();
      line.ending = "\r\n";
    }
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

IniDocument IniDocument::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return IniDocument();
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return Parse(buffer.str());
}

bool IniDocument::FindSection(std::string_view section, size_t& header, size_t& end) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (SectionHeader(lines_[i].text, name) && EqualNoCase(name, Trim(section))) {
      header = i;
      end = i + 1;
      while (end < lines_.size() && !SectionHeader(lines_[end].text, name)) ++end;
      return true;
    }
  }
  return false;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  size_t header = 0, end = 0;
  if (!FindSection(section, header, end)) return std::nullopt;
  for (size_t i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[i].text, k, v) && EqualNoCase(k, Trim(key))) {
      // A value wrapped in a matching pair of quotes is read without them, so
      // texts can keep leading and trailing spaces.
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return std::string(v);
    }
  }
  return std::nullopt;
}

bool IniDocument::HasSection(std::string_view section) const {
  size_t header = 0, end = 0;
  return FindSection(section, header, end);
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    std::string_view name;
    if (!SectionHeader(line.text, name)) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || EqualNoCase(n, name);
    if (!seen) names.emplace_back(name);
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> IniDocument::Entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  size_t header = 0, end = 0;
  if (!FindSection(section, header, end)) return entries;
  for (size_t i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[i].text, k, v)) entries.emplace_back(std::string(k), std::string(v));
  }
  return entries;
}

std::string IniDocument::NewLineEnding() const {
  for (const Line& line : lines_)
    if (!line.ending.empty()) return line.ending;
  return "\n";
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string eol = NewLineEnding();
  const std::string entry = std::string(Trim(key)) + "=" + std::string(value);
  size_t header = 0, end = 0;
  if (!FindSection(section, header, end)) {
    // A last line without an ending gets one before the new section.
    if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = eol;
    lines_.push_back({"[" + std::string(Trim(section)) + "]", eol});
    lines_.push_back({entry, eol});
    return;
  }
  size_t lastEntry = header;
  for (size_t i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (!KeyValue(lines_[i].text, k, v)) {
      if (!Trim(lines_[i].text).empty()) lastEntry = i;
      continue;
    }
    if (EqualNoCase(k, Trim(key))) {
      lines_[i].text = entry;
      return;
    }
    lastEntry = i;
  }
  if (lines_[lastEntry].ending.empty()) lines_[lastEntry].ending = eol;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), Line{entry, eol});
}

void IniDocument::Remove(std::string_view section, std::string_view key) {
  size_t header = 0, end = 0;
  if (!FindSection(section, header, end)) return;
  for (size_t i = end; i-- > header + 1;) {
    std::string_view k, v;
    if (KeyValue(lines_[i].text, k, v) && EqualNoCase(k, Trim(key)))
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void IniDocument::RemoveSection(std::string_view section) {
  size_t header = 0, end = 0;
  if (!FindSection(section, header, end)) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
               lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.ending;
  }
  return out;
}

bool IniDocument::Save(const std::string& path) const { return WriteFileAtomically(path, Serialize()); }

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
  std::string tmpl = path + ".XXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;
  bool ok = true;
  size_t written = 0;
  while (ok && written < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else written += static_cast<size_t>(n);
  }
  // Keep the permissions of the file being replaced; a new file gets what the
  // user's umask allows, as an ordinary open would give it.
  struct stat st {};
  mode_t mode = 0;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (ok && ::fchmod(fd, mode) != 0) ok = false;
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmpl.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmpl.c_str());
  return ok;
}

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string& path,
                             size_t maxChars) {
  const std::optional<std::string> value = IniDocument::Load(path).Get(section, key);
  std::string result = value ? *value : std::string(defaultValue);
  if (result.size() > maxChars) result.resize(maxChars);
  return result;
}

int ParseProfileInt(std::string_view text) {
  text = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Wraps at 32 bits like the original parser; unsigned arithmetic keeps it defined.
  unsigned int value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<unsigned int>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

int GetProfileInt(std::string_view section, std::string_view key, int defaultValue,
                  const std::string& path) {
  const std::optional<std::string> value = IniDocument::Load(path).Get(section, key);
  if (!value || value->empty()) return defaultValue;
  return ParseProfileInt(*value);
}

bool WriteProfileString(std::string_view section, const char* key, const char* value,
                        const std::string& path) {
  IniDocument doc = IniDocument::Load(path);
  if (!key) doc.RemoveSection(section);
  else if (!value) doc.Remove(section, key);
  else doc.Set(section, key, value);
  return doc.Save(path);
}

}  // namespace px
