#include "postrel/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace postrel {

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  // Everything the children need is prepared here: between fork and exec only
  // async-signal-safe calls are allowed (the host may have other threads).
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  char** env = environ;

  // The program's exec failure travels back through this pipe; a successful
  // exec closes it (O_CLOEXEC) with nothing written.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;

  const pid_t middle = ::fork();
  if (middle < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (middle == 0) {
    ::close(report[0]);
    // Its own session, so the mail program outlives a terminal closing on us.
    ::setsid();
    const pid_t program = ::fork();
    if (program == 0) {
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      const int devNull = ::open("/dev/null", O_RDONLY);
      if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        if (devNull != STDIN_FILENO) ::close(devNull);
      }
      ::execve(args[0], args.data(), env);
      const int error = errno;
      ssize_t ignored = ::write(report[1], &error, sizeof error);
      (void)ignored;
      ::_exit(127);
    }
    if (program < 0) {
      const int error = errno;
      ssize_t ignored = ::write(report[1], &error, sizeof error);
      (void)ignored;
    }
    ::_exit(0);
  }

  ::close(report[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  return got == 0;
}

}  // namespace postrel
