// The descreen filter's trace reaches a "DBMonitor" listener as five
// zero-terminated datagrams, and nothing breaks when nobody listens.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "filter/filter_core.h"
#include "platform/local_ipc.h"

namespace px::filter {
namespace {

class DbMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/filter-trace-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  }
  void TearDown() override {
    if (fd_ >= 0) ::close(fd_);
    if (hadOld_) {
      ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
    std::filesystem::remove_all(folder_);
  }

  void Listen() {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd_, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = px::LocalSocketPath("DBMonitor");
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  }

  std::vector<std::string> Received() {
    std::vector<std::string> lines;
    char buffer[512];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT);
      if (n < 0) break;
      lines.emplace_back(buffer, static_cast<std::size_t>(n));
    }
    return lines;
  }

  std::string folder_;
  std::string old_;
  bool hadOld_ = false;
  int fd_ = -1;
};

std::string Z(const char* text) { return std::string(text, std::strlen(text) + 1); }

TEST_F(DbMonitor, DescreenSendsItsFiveLines) {
  Listen();
  std::vector<unsigned char> image(6 * 30, 90);
  EXPECT_EQ(RunFilter(19, image.data(), 2, 6, 30), 1);
  const std::vector<std::string> expected = {
      Z("<Filter> ****** Demoire begin ********"), Z("High Pass: 0"), Z("Medium: 0"),
      Z("UnSharp Mask: 0"), Z("<Filter> ****** Demoire end ********")};
  EXPECT_EQ(Received(), expected);
}

TEST_F(DbMonitor, OtherFiltersAndRefusedCallsStaySilent) {
  Listen();
  std::vector<unsigned char> image(6 * 30, 90);
  for (int number : {1, 2, 3, 4, 5, 7, 8, 16, 17, 18, 20}) RunFilter(number, image.data(), 2, 6, 30);
  RunFilter(19, image.data(), 0, 6, 30);  // mode 0: descreen does not run
  RunFilter(19, nullptr, 2, 6, 30);
  EXPECT_TRUE(Received().empty());
}

TEST_F(DbMonitor, WithoutListenerTheLinesAreDroppedAndTheFilterRuns) {
  std::vector<unsigned char> image(4 * 9, 0);
  image[13] = 255;
  const std::vector<unsigned char> before = image;
  EXPECT_EQ(RunFilter(19, image.data(), 1, 4, 9), 1);
  EXPECT_NE(image, before);
}

}  // namespace
}  // namespace px::filter
