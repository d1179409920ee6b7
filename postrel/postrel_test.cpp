#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/postrel_api.h"
#include "platform/module.h"
#include "postrel/mail_clients.h"
#include "postrel/mime_message.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t nl = text.find('\n', pos);
    lines.push_back(text.substr(pos, nl - pos));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return lines;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() + 0 && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
      out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Base64Decode(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=' || c == '\r' || c == '\n') continue;
    const size_t v = alphabet.find(c);
    if (v == std::string::npos) return "<bad base64>";
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

// A private desktop: data folders, PATH, HOME and documents folder below a
// temporary root, and fake mail programs that write their arguments one per
// line to out/<program>.args, then touch out/<program>.done.
class PostrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/postrel_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "PATH", "XDG_DOCUMENTS_DIR", "XDG_CONFIG_HOME"}) {
      const char* value = getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    fs::create_directories(root_ / "home" / "Documents");
    fs::create_directories(root_ / "out");
    setenv("HOME", (root_ / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "home" / ".local" / "share").c_str(), 1);
    setenv("XDG_DATA_DIRS", ((root_ / "sys1").string() + ":" + (root_ / "sys2").string() + "/").c_str(), 1);
    setenv("PATH", (root_ / "bin").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root_ / "home" / "Documents").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    ASSERT_TRUE(module_.Load(px::LibraryPath(getenv("PX_BIN_DIR") ? getenv("PX_BIN_DIR") : "", "Postrel")))
        << px::Module::LastError();
    ASSERT_TRUE(module_.BindAll(api_));
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    fs::remove_all(root_);
  }

  void Entry(const std::string& dataDir, const std::string& relative, const std::string& body) {
    WriteAll(root_ / dataDir / "applications" / relative, "[Desktop Entry]\n" + body);
  }
  void FakeProgram(const std::string& name) {
    const fs::path out = root_ / "out" / name;
    WriteAll(root_ / "bin" / name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                       out.string() + ".args'\n: > '" + out.string() + ".done'\n");
    fs::permissions(root_ / "bin" / name, fs::perms::owner_all);
  }
  // Waits for a fake program to finish, then gives its arguments.
  std::vector<std::string> ArgumentsOf(const std::string& name) {
    const fs::path done = root_ / "out" / (name + ".done");
    for (int i = 0; i < 1000 && !fs::exists(done); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(done)) << name << " never ran";
    std::vector<std::string> args = Lines(ReadAll(root_ / "out" / (name + ".args")));
    fs::remove(done);
    return args;
  }
  std::string ClientList() {
    const int n = api_.GetMailClient(nullptr);
    if (n <= 0) return "<none>";
    std::vector<char> buffer(static_cast<size_t>(n) + 16, '~');
    EXPECT_EQ(api_.GetMailClient(buffer.data()), n);
    EXPECT_EQ(buffer[static_cast<size_t>(n) - 1], '\0');
    for (size_t i = static_cast<size_t>(n); i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '~') << "overrun at " << i;
    return std::string(buffer.data());
  }
  // Awkward but legal file names, each with distinct content.
  std::vector<std::string> AwkwardFiles() {
    std::vector<std::string> paths;
    const char* names[] = {"page one.jpg", "O'Brien \"draft\".tif", "\xC3\x9C" "berweisung \xE2\x82\xAC.pdf",
                           "a,b&c=d%20+e.bmp", "$HOME `id` \\ ;#x.jpg"};
    int i = 0;
    for (const char* name : names) {
      const fs::path path = root_ / "my scans" / name;
      WriteAll(path, "content " + std::to_string(i++));
      paths.push_back(path.string());
    }
    return paths;
  }
  static std::string Joined(const std::vector<std::string>& paths) {
    std::string list;
    for (const auto& p : paths) list += p + "|";
    return list;
  }
  static void ExpectNoZombie() {
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "a child of ours is left to reap";
  }

  fs::path root_;
  std::map<std::string, std::optional<std::string>> saved_;
  px::Module module_;
  PostrelApi api_;
};

const char* kMailto = "MimeType=text/html;x-scheme-handler/mailto;\n";

TEST_F(PostrelTest, ListsMailtoHandlersByDesktopEntryRules) {
  // Only the draft client on an empty desktop.
  EXPECT_EQ(ClientList(), "Mail draft file");
  EXPECT_EQ(api_.GetMailClient(nullptr), static_cast<int>(strlen("Mail draft file") + 1));

  const std::string home = "home/.local/share";
  Entry(home, "thunderbird.desktop", "Type=Application\nName=Thunderbird Mail\nExec=thunderbird %u\n" + std::string(kMailto));
  Entry("sys2", "thunderbird.desktop", "Type=Application\nName=Old Thunderbird\nExec=thunderbird %u\n" + std::string(kMailto));
  // A user's Hidden entry removes the system one of the same id.
  Entry("sys1", "org.gnome.Evolution.desktop", "Type=Application\nName=Evolution\nExec=evolution %U\n" + std::string(kMailto));
  Entry(home, "org.gnome.Evolution.desktop", "Type=Application\nName=Evolution\nHidden=true\nExec=evolution\n");
  Entry("sys1", "kde/org.kde.kmail2.desktop", "Type=Application\nName=KMail\nExec=kmail -qwindowtitle %c %u\n" + std::string(kMailto));
  Entry("sys2", "claws-mail.desktop",
        "Type=Application\nName[de]=Claws Post\nName=Claws Mail\nExec=env LANG=C claws-mail %u\n"
        "MimeType=x-scheme-handler/MAILTO\n");
  Entry("sys1", "geary.desktop", "Type=Application\nName=Geary\nNoDisplay=true\nExec=geary %U\n" + std::string(kMailto));
  Entry("sys2", "browser.desktop", "Type=Application\nName=Browser\nExec=browser %u\nMimeType=text/html;\n");
  Entry("sys2", "link.desktop", "Type=Link\nName=Link\nURL=mailto:x@y\n" + std::string(kMailto));
  Entry("sys2", "absent.desktop", "Type=Application\nName=Absent\nTryExec=not-installed\nExec=absent\n" + std::string(kMailto));
  Entry("sys2", "none.desktop", "Type=Application\nName=none\nExec=none\n" + std::string(kMailto));
  Entry("sys2", "noexec.desktop", "Type=Application\nName=No Exec\n" + std::string(kMailto));
  Entry("sys2", "pipe.desktop", "Type=Application\nName=Mail|Post\nExec=mailpost %u\n" + std::string(kMailto));
  Entry("sys2", "notes.txt", "Type=Application\nName=Not An Entry\nExec=x\n" + std::string(kMailto));
  WriteAll(root_ / "sys2" / "applications" / "junk.desktop", std::string(500, '\xFF'));

  EXPECT_EQ(ClientList(), "Claws Mail|KMail|Mail/Post|Thunderbird Mail|Mail draft file");

  // The buffer call hands out what the sizing call measured, even when an
  // application is installed in between.
  const int n = api_.GetMailClient(nullptr);
  Entry("sys1", "aaa.desktop", "Type=Application\nName=Aardvark Mail\nExec=aaa\n" + std::string(kMailto));
  std::vector<char> buffer(static_cast<size_t>(n) + 8, '~');
  EXPECT_EQ(api_.GetMailClient(buffer.data()), n);
  EXPECT_EQ(buffer[static_cast<size_t>(n)], '~');
  EXPECT_EQ(ClientList(), "Aardvark Mail|Claws Mail|KMail|Mail/Post|Thunderbird Mail|Mail draft file");
}

TEST_F(PostrelTest, ReadyMeansListedWithItsProgramOnPath) {
  Entry("sys1", "tb.desktop", "Type=Application\nName=Thunderbird\nExec=thunderbird %u\n" + std::string(kMailto));
  Entry("sys1", "post.desktop", "Type=Application\nName=Post\nExec=/opt/nowhere/post %u\n" + std::string(kMailto));
  Entry("sys1", "hidden.desktop", "Type=Application\nName=Hidden\nHidden=true\nExec=hidden\n" + std::string(kMailto));
  FakeProgram("hidden");
  EXPECT_EQ(api_.IsClientReady("Thunderbird"), 0);
  FakeProgram("thunderbird");
  EXPECT_EQ(api_.IsClientReady("Thunderbird"), 1);
  EXPECT_EQ(api_.IsClientReady("THUNDERBIRD"), 1);
  EXPECT_EQ(api_.IsClientReady("Post"), 0);
  EXPECT_EQ(api_.IsClientReady("Hidden"), 0);
  EXPECT_EQ(api_.IsClientReady("Uninstalled"), 0);
  EXPECT_EQ(api_.IsClientReady("Mail draft file"), 1);
  EXPECT_EQ(api_.IsClientReady(""), 0);
  EXPECT_EQ(api_.IsClientReady(nullptr), 0);
}

TEST_F(PostrelTest, EachClientGetsItsOwnCommandLineWithNamesIntact) {
  const std::vector<std::string> files = AwkwardFiles();
  const std::string list = Joined(files);
  auto decodeList = [](std::string text, const std::string& separator, const std::string& prefix) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find(separator, pos);
      if (end == std::string::npos) end = text.size();
      std::string item = text.substr(pos, end - pos);
      EXPECT_EQ(item.rfind(prefix, 0), 0u) << item;
      out.push_back(PercentDecode(item.substr(prefix.size())));
      pos = end + separator.size();
    }
    return out;
  };

  Entry("sys1", "tb.desktop", "Type=Application\nName=Thunderbird\nExec=thunderbird -mail %u\n" + std::string(kMailto));
  FakeProgram("thunderbird");
  ASSERT_EQ(api_.SendMail("Thunderbird", list.c_str()), 1);
  auto args = ArgumentsOf("thunderbird");
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], "-compose");
  ASSERT_EQ(args[1].rfind("attachment='", 0), 0u);
  ASSERT_EQ(args[1].back(), '\'');
  EXPECT_EQ(decodeList(args[1].substr(12, args[1].size() - 13), ",", "file://"), files);
  ExpectNoZombie();

  for (const char* program : {"evolution", "geary"}) {
    Entry("sys1", std::string(program) + ".desktop",
          std::string("Type=Application\nName=") + program + "\nExec=" + program + " %U\n" + kMailto);
    FakeProgram(program);
    ASSERT_EQ(api_.SendMail(program, list.c_str()), 1) << program;
    args = ArgumentsOf(program);
    ASSERT_EQ(args.size(), 1u);
    ASSERT_EQ(args[0].rfind("mailto:?", 0), 0u);
    EXPECT_EQ(decodeList(args[0].substr(8), "&", "attach="), files) << program;
  }

  Entry("sys1", "kmail.desktop", "Type=Application\nName=KMail\nExec=kmail %u\n" + std::string(kMailto));
  FakeProgram("kmail");
  ASSERT_EQ(api_.SendMail("KMail", list.c_str()), 1);
  std::vector<std::string> expected{"--composer"};
  for (const auto& f : files) expected.insert(expected.end(), {"--attach", f});
  EXPECT_EQ(ArgumentsOf("kmail"), expected);

  Entry("sys1", "claws.desktop", "Type=Application\nName=Claws Mail\nExec=\"claws-mail\" %u\n" + std::string(kMailto));
  FakeProgram("claws-mail");
  ASSERT_EQ(api_.SendMail("Claws Mail", list.c_str()), 1);
  expected = {"--compose", "--attach"};
  expected.insert(expected.end(), files.begin(), files.end());
  EXPECT_EQ(ArgumentsOf("claws-mail"), expected);

  // An unknown client: the desktop's own xdg-email, one --attach per file.
  Entry("sys1", "other.desktop", "Type=Application\nName=Other Mail\nExec=othermail %u\n" + std::string(kMailto));
  FakeProgram("othermail");
  FakeProgram("xdg-email");
  ASSERT_EQ(api_.SendMail("Other Mail", (list + "|").c_str()), 1);
  expected.clear();
  for (const auto& f : files) expected.insert(expected.end(), {"--attach", f});
  EXPECT_EQ(ArgumentsOf("xdg-email"), expected);
  ExpectNoZombie();
}

TEST_F(PostrelTest, RefusesWhatCannotBeSent) {
  const std::vector<std::string> files = AwkwardFiles();
  Entry("sys1", "tb.desktop", "Type=Application\nName=Thunderbird\nExec=thunderbird %u\n" + std::string(kMailto));
  Entry("sys1", "other.desktop", "Type=Application\nName=Other\nExec=other %u\n" + std::string(kMailto));
  Entry("sys1", "broken.desktop", "Type=Application\nName=Broken\nExec=broken %u\n" + std::string(kMailto));
  FakeProgram("other");  // known to the desktop, but no xdg-email to reach it
  // A program that cannot be executed (no interpreter): exec fails.
  WriteAll(root_ / "bin" / "broken", "#!/nonexistent/interpreter\n");
  fs::permissions(root_ / "bin" / "broken", fs::perms::owner_all);
  const std::string one = files[0] + "|";

  EXPECT_EQ(api_.SendMail("Thunderbird", one.c_str()), 0) << "program not installed";
  FakeProgram("thunderbird");
  EXPECT_EQ(api_.SendMail("Thunderbird", (files[0] + "|" + (root_ / "gone.jpg").string() + "|").c_str()), 0);
  EXPECT_EQ(api_.SendMail("Thunderbird", ((root_ / "my scans").string() + "|").c_str()), 0) << "a folder";
  EXPECT_EQ(api_.SendMail("Thunderbird", ""), 0);
  EXPECT_EQ(api_.SendMail("Thunderbird", "||"), 0);
  EXPECT_EQ(api_.SendMail("Thunderbird", nullptr), 0);
  EXPECT_EQ(api_.SendMail(nullptr, one.c_str()), 0);
  EXPECT_EQ(api_.SendMail("Nobody", one.c_str()), 0);
  EXPECT_EQ(api_.SendMail("Other", one.c_str()), 0);
  EXPECT_EQ(api_.SendMail("Broken", one.c_str()), 0);
  EXPECT_FALSE(fs::exists(root_ / "out" / "thunderbird.done"));
  ExpectNoZombie();
  // The good case still works after all that.
  EXPECT_EQ(api_.SendMail("thunderbird", one.c_str()), 1);
  EXPECT_EQ(ArgumentsOf("thunderbird").size(), 2u);
}

// Parses a header block into (lower-case name, unfolded value).
std::map<std::string, std::string> Headers(const std::string& block) {
  std::map<std::string, std::string> headers;
  std::string name;
  for (const std::string& line : Lines(block)) {
    if (line.empty()) continue;
    if (line[0] == ' ' || line[0] == '\t') {
      headers[name] += line;
      continue;
    }
    const size_t colon = line.find(':');
    name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    headers[name] = line.substr(colon + 1);
  }
  for (auto& [k, v] : headers) {
    std::string clean;
    for (char c : v)
      if (c != '\r') clean += c;
    v = clean;
  }
  return headers;
}

// Content-Disposition filename: quoted, filename*=UTF-8''…, or continued
// filename*0*=UTF-8''… filename*1*=….
std::string DispositionFileName(const std::string& value) {
  std::map<int, std::string> pieces;
  std::string quoted;
  size_t pos = 0;
  while ((pos = value.find("filename", pos)) != std::string::npos) {
    const size_t eq = value.find('=', pos);
    const std::string attribute = value.substr(pos, eq - pos);
    size_t end = value.find(';', eq);
    std::string raw = value.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t')) raw.pop_back();
    if (attribute == "filename") {
      for (size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] == '\\') ++i;
        quoted += raw[i];
      }
    } else {
      int index = 0;
      if (attribute != "filename*") index = std::stoi(attribute.substr(9));
      if (raw.rfind("UTF-8''", 0) == 0) raw = raw.substr(7);
      pieces[index] = raw;
    }
    pos = eq;
  }
  if (pieces.empty()) return quoted;
  std::string all;
  for (const auto& [i, p] : pieces) all += p;
  return PercentDecode(all);
}

TEST_F(PostrelTest, DraftClientWritesACompleteMessageAndOpensIt) {
  FakeProgram("xdg-open");
  std::mt19937 random(5);
  std::vector<std::pair<std::string, std::string>> files = {
      {"scan 1.JPG", "image/jpeg"},
      {"\xC3\x9C" "berweisung f\xC3\xBCr Zo\xC3\xAB \xE2\x80\x93 M\xC3\xA4rz 2026, ein sehr langer Name.pdf", "application/pdf"},
      {"page \"2\".tiff", "image/tiff"},
      {"old.bmp", "image/bmp"},
      {"notes.txt", "application/octet-stream"},
  };
  std::string list;
  std::vector<std::string> contents;
  for (size_t i = 0; i < files.size(); ++i) {
    std::string bytes(100 + i * 997, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    contents.push_back(bytes);
    WriteAll(root_ / "pages" / files[i].first, bytes);
    list += (root_ / "pages" / files[i].first).string() + "|";
  }
  ASSERT_EQ(api_.SendMail("Mail draft file", list.c_str()), 1);
  const auto opened = ArgumentsOf("xdg-open");
  ASSERT_EQ(opened.size(), 1u);
  std::vector<fs::path> drafts;
  for (const auto& item : fs::directory_iterator(root_ / "home" / "Documents")) drafts.push_back(item.path());
  ASSERT_EQ(drafts.size(), 1u) << "exactly the draft, no temporary left";
  EXPECT_EQ(drafts[0].extension(), ".eml");
  EXPECT_EQ(opened[0], drafts[0].string());
  ExpectNoZombie();

  const std::string message = ReadAll(drafts[0]);
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\n') {
      ASSERT_TRUE(i > 0 && message[i - 1] == '\r') << "bare LF at " << i;
    }
  }
  for (const std::string& line : Lines(message)) EXPECT_LE(line.size(), 79u) << line;
  const size_t headerEnd = message.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  auto top = Headers(message.substr(0, headerEnd + 2));
  EXPECT_EQ(top["mime-version"], " 1.0");
  EXPECT_NE(top["date"].find("+0000"), std::string::npos);
  const std::string& type = top["content-type"];
  ASSERT_NE(type.find("multipart/mixed"), std::string::npos);
  const size_t b = type.find("boundary=\"");
  ASSERT_NE(b, std::string::npos);
  const std::string boundary = type.substr(b + 10, type.find('"', b + 10) - b - 10);
  ASSERT_FALSE(boundary.empty());

  const std::string body = message.substr(headerEnd + 4);
  const std::string delimiter = "\r\n--" + boundary;
  ASSERT_NE(body.find(delimiter + "--\r\n"), std::string::npos) << "closing delimiter";
  std::vector<std::string> parts;
  size_t pos = body.find(delimiter);
  while (pos != std::string::npos) {
    const size_t start = pos + delimiter.size();
    if (body.compare(start, 2, "--") == 0) break;
    const size_t next = body.find(delimiter, start);
    parts.push_back(body.substr(start + 2, next - start - 2));
    pos = next;
  }
  ASSERT_EQ(parts.size(), files.size() + 1) << "a text part and one part per file";
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& part = parts[i + 1];
    const size_t end = part.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    auto h = Headers(part.substr(0, end + 2));
    EXPECT_EQ(h["content-type"].substr(1, files[i].second.size()), files[i].second) << files[i].first;
    EXPECT_EQ(h["content-transfer-encoding"], " base64");
    EXPECT_NE(h["content-disposition"].find("attachment"), std::string::npos);
    EXPECT_EQ(DispositionFileName(h["content-disposition"]), files[i].first);
    const std::string encoded = part.substr(end + 4);
    for (const std::string& line : Lines(encoded)) EXPECT_LE(line.size(), 77u);
    EXPECT_EQ(Base64Decode(encoded), contents[i]) << files[i].first;
  }

  // A second draft in the same second gets its own file.
  ASSERT_EQ(api_.SendMail("mail draft file", list.c_str()), 1);
  ArgumentsOf("xdg-open");
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "home" / "Documents"), fs::directory_iterator()), 2);
}

TEST(PostrelPieces, ExecQuotingAndFieldCodes) {
  using postrel::SplitExec;
  EXPECT_EQ(SplitExec("thunderbird %u"), (std::vector<std::string>{"thunderbird"}));
  EXPECT_EQ(SplitExec("\"/opt/My Mail/mail\" --x=%% %F"), (std::vector<std::string>{"/opt/My Mail/mail", "--x=%"}));
  EXPECT_EQ(SplitExec("sh -c \"echo \\\"a\\\" \\$b \\\\\""), (std::vector<std::string>{"sh", "-c", "echo \"a\" $b \\"}));
  EXPECT_EQ(SplitExec("a  \t b"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SplitExec("\"unterminated").empty());
  EXPECT_EQ(postrel::FormOfProgram("/usr/lib/thunderbird/thunderbird"), postrel::ComposeForm::kMozilla);
  EXPECT_EQ(postrel::FormOfProgram("Evolution"), postrel::ComposeForm::kEvolution);
  EXPECT_EQ(postrel::FormOfProgram("mutt"), postrel::ComposeForm::kGeneric);
}

TEST(PostrelPieces, Base64AndContentTypes) {
  // RFC 4648's test vectors.
  EXPECT_EQ(postrel::Base64Lines(""), "");
  EXPECT_EQ(postrel::Base64Lines("f"), "Zg==\r\n");
  EXPECT_EQ(postrel::Base64Lines("fo"), "Zm8=\r\n");
  EXPECT_EQ(postrel::Base64Lines("foobar"), "Zm9vYmFy\r\n");
  const std::string long57(57, 'x'), long58(58, 'x');
  EXPECT_EQ(postrel::Base64Lines(long57).size(), 78u);  // exactly one full line
  EXPECT_EQ(Lines(postrel::Base64Lines(long58)).size(), 2u);
  EXPECT_STREQ(postrel::ContentTypeOf("a.JPEG"), "image/jpeg");
  EXPECT_STREQ(postrel::ContentTypeOf("a.tif"), "image/tiff");
  EXPECT_STREQ(postrel::ContentTypeOf("a.pdf.gz"), "application/octet-stream");
  EXPECT_STREQ(postrel::ContentTypeOf("pdf"), "application/octet-stream");
}

}  // namespace
