#include "util/system/ExternalProgram.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace tessel {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Closes a descriptor when it goes out of scope, so every path of the parent
// releases what it opened.
class TFd {
public:
  explicit TFd(int fd = -1) : Fd(fd) {}
  ~TFd() { Close(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  void Close() {
    if (Fd >= 0) close(Fd);
    Fd = -1;
  }
  int Fd;
};

// Runs in the grandchild between fork and exec: only async-signal-safe calls,
// since other threads of ours may have held locks at the moment of the fork.
[[noreturn]] void ExecGrandchild(const char* file, char* const* argv, int nullFd, int errorFd) {
  setsid();
  if (nullFd >= 0) dup2(nullFd, STDIN_FILENO);
  // Our own descriptors (files, sockets, the display connection) are none of
  // the program's business; the error pipe is already close-on-exec.
  syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
  struct sigaction deflt {};
  deflt.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &deflt, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(file, argv, environ);
  int error = errno;
  ssize_t ignored = write(errorFd, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

}  // namespace

std::string FindProgramFile(const std::string& program) {
  if (program.empty()) return std::string();
  if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : std::string();
  const char* env = std::getenv("PATH");
  std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t end = path.find(':', start);
    std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    // An empty entry stands for the current directory.
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return std::string();
}

bool StartDetachedProgram(const std::string& program, const std::vector<std::string>& args, int* error) {
  auto fail = [error](int code) {
    if (error) *error = code;
    return false;
  };
  std::string file = FindProgramFile(program);
  if (file.empty()) {
    return fail(ENOENT);
  }
  // Everything the children use is prepared here: after fork they may not allocate.
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  TFd nullFd(open("/dev/null", O_RDONLY | O_CLOEXEC));
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    return fail(errno);
  }
  TFd readEnd(fds[0]), writeEnd(fds[1]);

  // With every signal blocked no handler of ours can run in the children;
  // the grandchild clears the mask again just before exec.
  sigset_t all, saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  pid_t child = fork();
  if (child == 0) {
    // The intermediate child exits at once, so the program is adopted by
    // init (or the session's subreaper), which reaps it: no zombie of ours.
    pid_t grandchild = fork();
    if (grandchild == 0) ExecGrandchild(file.c_str(), argv.data(), nullFd.Fd, writeEnd.Fd);
    if (grandchild < 0) {
      int forkFailure = errno;
      ssize_t ignored = write(writeEnd.Fd, &forkFailure, sizeof forkFailure);
      (void)ignored;
    }
    _exit(0);
  }
  int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  writeEnd.Close();
  nullFd.Close();
  if (child < 0) {
    return fail(forkError);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data when exec succeeded (close-on-exec) and
  // carries the errno when it did not.
  int execError = 0;
  ssize_t n;
  do {
    n = read(readEnd.Fd, &execError, sizeof execError);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof execError)) return fail(execError);
  return true;
}

}  // namespace tessel
