#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/px_ini_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/test.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& text) {
    std::ofstream out(path_, std::ios::binary);
    out << text;
  }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  size_t FilesInDir() const {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir_)) ++n;
    return n;
  }

  std::string dir_;
  std::string path_;
};

TEST_F(IniFileTest, ReadsCaseInsensitivelyAndTrims) {
  Write("[Default Setting]\n  productname =  My Scanner  \nBGInfo=1 2 3\n");
  EXPECT_EQ(px::GetProfileString("default setting", "ProductName", "x", path_), "My Scanner");
  EXPECT_EQ(px::GetProfileString("DEFAULT SETTING", "bginfo", "x", path_), "1 2 3");
  EXPECT_EQ(px::GetProfileString("Default Setting", "Missing", "dflt", path_), "dflt");
  EXPECT_EQ(px::GetProfileString("Other", "ProductName", "dflt", path_), "dflt");
}

TEST_F(IniFileTest, SurroundingQuotesKeepSpaces) {
  Write("[S]\na=\"  \"\nb='x y'\nc=\"unbalanced\nd=say \"\"OK\"\" now\ne=\"\n");
  EXPECT_EQ(px::GetProfileString("S", "a", "", path_), "  ");
  EXPECT_EQ(px::GetProfileString("S", "b", "", path_), "x y");
  EXPECT_EQ(px::GetProfileString("S", "c", "", path_), "\"unbalanced");
  EXPECT_EQ(px::GetProfileString("S", "d", "", path_), "say \"\"OK\"\" now");
  EXPECT_EQ(px::GetProfileString("S", "e", "", path_), "\"");
}

TEST_F(IniFileTest, MissingFileGivesDefaults) {
  EXPECT_EQ(px::GetProfileString("S", "K", "d", dir_ + "/absent.ini"), "d");
  EXPECT_EQ(px::GetProfileInt("S", "K", 42, dir_ + "/absent.ini"), 42);
}

TEST_F(IniFileTest, IntegersReadLikeTheProfileParser) {
  Write("[S]\na=12\nb=-7\nc=+5\nd=abc\ne=34xyz\nf=\ng= 0x10\nh=--3\n");
  EXPECT_EQ(px::GetProfileInt("S", "a", 9, path_), 12);
  EXPECT_EQ(px::GetProfileInt("S", "b", 9, path_), -7);
  EXPECT_EQ(px::GetProfileInt("S", "c", 9, path_), 5);
  EXPECT_EQ(px::GetProfileInt("S", "d", 9, path_), 0);
  EXPECT_EQ(px::GetProfileInt("S", "e", 9, path_), 34);
  EXPECT_EQ(px::GetProfileInt("S", "f", 9, path_), 9);
  EXPECT_EQ(px::GetProfileInt("S", "g", 9, path_), 0);
  EXPECT_EQ(px::GetProfileInt("S", "h", 9, path_), 0);
  EXPECT_EQ(px::GetProfileInt("S", "missing", 9, path_), 9);
}

TEST_F(IniFileTest, BrokenFilesStillReadWhatIsThere) {
  // Keys before any section belong to no section; duplicates: the first wins;
  // CRLF, binary bytes, a very long line and no final newline are all tolerated.
  std::string longValue(100000, 'v');
  Write(std::string("orphan=1\r\n[A]\r\nkey=first\r\nkey=second\r\nbin=\x01\xff\x7f\r\n"
                    "long=") + longValue + "\r\n[A]\r\nkey=third\r\nlast=end");
  EXPECT_EQ(px::GetProfileString("", "orphan", "none", path_), "none");
  EXPECT_EQ(px::GetProfileString("A", "key", "", path_), "first");
  EXPECT_EQ(px::GetProfileString("A", "bin", "", path_), "\x01\xff\x7f");
  EXPECT_EQ(px::GetProfileString("A", "long", "", path_), longValue);
  EXPECT_EQ(px::GetProfileString("A", "long", "", path_, 259).size(), 259u);
  EXPECT_EQ(px::GetProfileString("A", "last", "", path_), "");  // second [A] is not read
}

TEST_F(IniFileTest, WriteKeepsEveryOtherLineByteForByte) {
  const std::string original =
      "; a comment\r\n[Scan]\r\nTitle = Pellix \r\nStrange line without equals\r\n\r\n"
      "[Other]\r\nx=1\r\n";
  Write(original);
  ASSERT_TRUE(px::WriteProfileString("scan", "Title", "New", path_));
  EXPECT_EQ(Read(),
            "; a comment\r\n[Scan]\r\nTitle=New\r\nStrange line without equals\r\n\r\n"
            "[Other]\r\nx=1\r\n");
  ASSERT_TRUE(px::WriteProfileString("Scan", "Added", "2", path_));
  EXPECT_EQ(Read(),
            "; a comment\r\n[Scan]\r\nTitle=New\r\nStrange line without equals\r\nAdded=2\r\n\r\n"
            "[Other]\r\nx=1\r\n");
  EXPECT_EQ(px::GetProfileString("Other", "x", "", path_), "1");
}

TEST_F(IniFileTest, WriteCreatesFileAndSection) {
  ASSERT_TRUE(px::WriteProfileString("Last Setting", "Mode", "3", path_));
  EXPECT_EQ(Read(), "[Last Setting]\nMode=3\n");
  Write("[A]\nx=1");  // no final newline
  ASSERT_TRUE(px::WriteProfileString("B", "y", "2", path_));
  EXPECT_EQ(Read(), "[A]\nx=1\n[B]\ny=2\n");
  ASSERT_TRUE(px::WriteProfileString("A", "z", "3", path_));
  EXPECT_EQ(Read(), "[A]\nx=1\nz=3\n[B]\ny=2\n");
}

TEST_F(IniFileTest, NullValueRemovesKeyAndNullKeyRemovesSection) {
  Write("[A]\nx=1\ny=2\n[B]\nz=3\n");
  ASSERT_TRUE(px::WriteProfileString("A", "x", nullptr, path_));
  EXPECT_EQ(Read(), "[A]\ny=2\n[B]\nz=3\n");
  ASSERT_TRUE(px::WriteProfileString("a", nullptr, nullptr, path_));
  EXPECT_EQ(Read(), "[B]\nz=3\n");
}

TEST_F(IniFileTest, FailedWriteLeavesOldFileAndNoTemporary) {
  Write("[A]\nx=1\n");
  if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
  EXPECT_FALSE(px::WriteProfileString("A", "x", "2", path_));
  chmod(dir_.c_str(), 0700);
  EXPECT_EQ(Read(), "[A]\nx=1\n");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniFileTest, WriteCutShortByAFullDiskKeepsTheOldFile) {
  // A file-size limit makes the write fail halfway, as a full disk would, and
  // holds for every user, root included.
  Write("[A]\nx=1\n");
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = old;
  tight.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = px::WriteProfileString("A", "long", std::string(1000, 'v').c_str(), path_);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Read(), "[A]\nx=1\n");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniFileTest, NewFileFollowsTheUmask) {
  const mode_t old = umask(027);
  ASSERT_TRUE(px::WriteProfileString("A", "x", "1", path_));
  umask(old);
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(IniFileTest, WriteIntoMissingFolderFailsCleanly) {
  EXPECT_FALSE(px::WriteProfileString("A", "x", "1", dir_ + "/no/such/folder/f.ini"));
  EXPECT_EQ(FilesInDir(), 0u);
}

TEST_F(IniFileTest, SuccessfulWriteLeavesNoTemporaryAndKeepsMode) {
  Write("[A]\nx=1\n");
  chmod(path_.c_str(), 0600);
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(px::WriteProfileString("A", "x", std::to_string(i).c_str(), path_));
  EXPECT_EQ(FilesInDir(), 1u);
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(px::GetProfileInt("A", "x", -1, path_), 19);
}

TEST(IniDocumentTest, SectionNamesAndEntriesInFileOrder) {
  auto doc = px::IniDocument::Parse("\xEF\xBB\xBF[One]\na=1\n; c=3\nb = 2\n[two]\n[ONE]\nq=9\n");
  EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"One", "two"}));
  auto entries = doc.Entries("one");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"a", "1"}));
  EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"b", "2"}));
  EXPECT_TRUE(doc.HasSection("TWO"));
  EXPECT_FALSE(doc.HasSection("three"));
}

TEST(IniDocumentTest, SerializeRoundTripsArbitraryText) {
  const std::string texts[] = {"", "\n", "\r\n\r\n", "no newline", "[x]\r\nk=v\nmixed\r\n",
                               std::string("\0\0[a]\n", 6)};
  for (const std::string& t : texts) EXPECT_EQ(px::IniDocument::Parse(t).Serialize(), t);
}

}  // namespace
