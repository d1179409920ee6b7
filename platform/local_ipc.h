// Per-user named locks and local sockets: the stand-ins for a named mutex, for
// "a window of this class exists", and for the diagnostic trace window.
#pragma once

#include <string>
#include <string_view>

namespace px {

/// Holds a per-user lock file (flock) for the life of the object.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  /// True when this process now holds the lock named `name`.
  bool Acquire(const std::string& name);
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

/// Path of the per-user local socket named `name` (what a QLocalServer of the
/// owner listens on).
std::string LocalSocketPath(const std::string& name);
/// True when something listens on the stream socket `name`.
bool LocalSocketListening(const std::string& name);
/// Sends one datagram to the per-user datagram socket `name`; false (and the
/// data dropped) when nobody listens.
bool SendLocalDatagram(const std::string& name, std::string_view data);

}  // namespace px
