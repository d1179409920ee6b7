#include "platform/local_ipc.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/special_folders.h"

namespace px {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool InstanceLock::Acquire(const std::string& name) {
  if (fd_ >= 0) return true;
  const std::string path = UserRuntimePath(name) + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::string LocalSocketPath(const std::string& name) { return UserRuntimePath(name) + ".sock"; }

namespace {
bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}
}  // namespace

bool LocalSocketListening(const std::string& name) {
  sockaddr_un address;
  if (!FillAddress(LocalSocketPath(name), address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return ok;
}

bool SendLocalDatagram(const std::string& name, std::string_view data) {
  sockaddr_un address;
  if (!FillAddress(LocalSocketPath(name), address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const ssize_t n = ::sendto(fd, data.data(), data.size(), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::close(fd);
  return n == static_cast<ssize_t>(data.size());
}

}  // namespace px
