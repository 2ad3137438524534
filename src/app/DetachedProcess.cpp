#include "app/DetachedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lumivane {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// An errno as an error value; 0 is no error.
std::error_code ErrnoError(int error) {
  return error == 0 ? std::error_code() : std::error_code(error, std::generic_category());
}

}  // namespace

std::string FindProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* variable = std::getenv("PATH");
  const std::string search = variable != nullptr && *variable != '\0' ? variable : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t start = 0;;) {
    const std::size_t colon = search.find(':', start);
    const std::size_t end = colon == std::string::npos ? search.size() : colon;
    // An empty entry means the working directory.
    const std::string candidate =
        (end == start ? std::string(".") : search.substr(start, end - start)) + '/' + program;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string::npos) return {};
    start = colon + 1;
  }
}

std::vector<char*> ExecArguments(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return argv;
}

std::error_code StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments) {
  const std::string path = FindProgram(program);
  if (path.empty()) return ErrnoError(ENOENT);
  std::vector<char*> argv = ExecArguments(program, arguments);

  // The grandchild reports a failed exec through this pipe; a successful
  // exec closes it (O_CLOEXEC) without a word.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return ErrnoError(errno);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::execve(path.c_str(), argv.data(), ::environ);
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    if (grandchild < 0) {
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
    }
    ::_exit(0);
  }
  const int forkError = child < 0 ? errno : 0;
  ::close(report[1]);
  if (child > 0) {
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  int error = forkError;
  if (error == 0) {
    ssize_t got;
    do {
      got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof error)) error = 0;
  }
  ::close(report[0]);
  return ErrnoError(error);
}

}  // namespace lumivane
