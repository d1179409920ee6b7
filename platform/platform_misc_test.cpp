#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/global_memory.h"
#include "platform/local_ipc.h"
#include "platform/registry.h"
#include "platform/special_folders.h"

namespace fs = std::filesystem;

namespace {

// Points the XDG variables at a private folder for one test.
class ScopedHome {
 public:
  ScopedHome() {
    char tmpl[] = "/tmp/px_home_XXXXXX";
    dir_ = mkdtemp(tmpl);
    Save("HOME");
    Save("XDG_CONFIG_HOME");
    Save("XDG_DATA_HOME");
    Save("XDG_DOCUMENTS_DIR");
    Save("XDG_RUNTIME_DIR");
    Save("TMPDIR");
    setenv("HOME", dir_.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DOCUMENTS_DIR");
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    unsetenv("TMPDIR");
  }
  ~ScopedHome() {
    for (auto& [name, value] : saved_) {
      if (value.first) setenv(name.c_str(), value.second.c_str(), 1);
      else unsetenv(name.c_str());
    }
    fs::remove_all(dir_);
  }
  const std::string& dir() const { return dir_; }

 private:
  void Save(const char* name) {
    const char* v = std::getenv(name);
    saved_.push_back({name, {v != nullptr, v ? v : ""}});
  }
  std::string dir_;
  std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved_;
};

TEST(GlobalMemoryTest, ZeroFilledBlockWithSizeAndFree) {
  px::HGLOBAL h = px::GlobalAlloc(px::GHND, 1000);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(px::GlobalSize(h), 1000u);
  auto* bytes = static_cast<unsigned char*>(px::GlobalLock(h));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(bytes[i], 0);
  bytes[999] = 7;
  EXPECT_TRUE(px::GlobalUnlock(h));
  EXPECT_EQ(px::GlobalFree(h), nullptr);
  EXPECT_EQ(px::GlobalLock(nullptr), nullptr);
  EXPECT_EQ(px::GlobalSize(nullptr), 0u);
  EXPECT_EQ(px::GlobalAlloc(px::GHND, SIZE_MAX - 4), nullptr);
}

TEST(SpecialFoldersTest, FollowTheXdgVariables) {
  ScopedHome home;
  EXPECT_EQ(px::ConfigFolder(), home.dir() + "/.config");
  EXPECT_EQ(px::LocalAppDataFolder(), home.dir() + "/.local/share");
  EXPECT_EQ(px::TempFolder(), "/tmp");
  EXPECT_EQ(px::DocumentsFolder(), home.dir());  // no documents folder yet
  ASSERT_TRUE(px::CreateFolders(home.dir() + "/.config"));
  ASSERT_TRUE(px::CreateFolders(home.dir() + "/Dokumente"));
  {
    FILE* f = fopen((home.dir() + "/.config/user-dirs.dirs").c_str(), "w");
    fputs("# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", f);
    fclose(f);
  }
  EXPECT_EQ(px::DocumentsFolder(), home.dir() + "/Dokumente");
  setenv("XDG_DATA_HOME", "/data/", 1);
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(px::LocalAppDataFolder(), "/data");
  EXPECT_EQ(px::TempFolder(), "/var/tmp");
}

TEST(SpecialFoldersTest, CreateFoldersMakesParents) {
  ScopedHome home;
  const std::string deep = home.dir() + "/a/b/c";
  EXPECT_TRUE(px::CreateFolders(deep));
  EXPECT_TRUE(px::PathExists(deep));
  EXPECT_TRUE(px::CreateFolders(deep));  // already there
}

TEST(RegistryTest, KeyOpensOnlyAfterAWrite) {
  ScopedHome home;
  px::RegistryKey key("SOFTWARE\\Dorvex\\Default");
  EXPECT_FALSE(key.Exists());
  EXPECT_FALSE(key.Query("Path").has_value());
  ASSERT_TRUE(key.Set("Path", "/home/x/Scans"));
  EXPECT_TRUE(key.Exists());
  EXPECT_EQ(key.Query("path").value_or(""), "/home/x/Scans");
  EXPECT_EQ(px::RegistryKey::StorePath(), home.dir() + "/.config/pellix/registry.ini");
  EXPECT_FALSE(px::RegistryKey("SOFTWARE\\Other").Exists());
}

TEST(InstanceLockTest, SecondHolderIsRefused) {
  ScopedHome home;
  px::InstanceLock first;
  px::InstanceLock second;
  EXPECT_TRUE(first.Acquire("TestMutex"));
  EXPECT_FALSE(second.Acquire("TestMutex"));
  EXPECT_TRUE(second.Acquire("OtherMutex"));
}

TEST(LocalSocketTest, ListeningAndDatagrams) {
  ScopedHome home;
  EXPECT_FALSE(px::LocalSocketListening("_Test_Window_"));
  EXPECT_FALSE(px::SendLocalDatagram("DBMonitor", "dropped"));

  const std::string path = px::LocalSocketPath("DBMonitor");
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  EXPECT_TRUE(px::SendLocalDatagram("DBMonitor", std::string("hello\0", 6)));
  char buffer[16] = {};
  EXPECT_EQ(recv(fd, buffer, sizeof(buffer), 0), 6);
  EXPECT_STREQ(buffer, "hello");
  close(fd);

  const std::string streamPath = px::LocalSocketPath("_Test_Window_");
  int server = socket(AF_UNIX, SOCK_STREAM, 0);
  std::strcpy(addr.sun_path, streamPath.c_str());
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ASSERT_EQ(listen(server, 1), 0);
  EXPECT_TRUE(px::LocalSocketListening("_Test_Window_"));
  close(server);
}

}  // namespace
