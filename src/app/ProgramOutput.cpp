#include "app/ProgramOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "app/DetachedProcess.h"

namespace lumivane {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

// The child's side: signals unblocked, standard input and standard error
// on /dev/null (when it opened), standard output into the pipe.
[[noreturn]] void ExecWithOutputTo(int outputFd, int nullFd, const char* path, char* const* argv) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (nullFd >= 0) {
    ::dup2(nullFd, STDIN_FILENO);
    ::dup2(nullFd, STDERR_FILENO);
  }
  ::dup2(outputFd, STDOUT_FILENO);
  ::execve(path, argv, ::environ);
  ::_exit(127);
}

struct CollectedOutput {
  std::string text;
  bool timedOut = false;
};

// Reads until the program closes its output or the deadline passes.
CollectedOutput ReadUntilClosed(int fd, Deadline deadline) {
  CollectedOutput output;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      output.timedOut = true;
      return output;
    }
    pollfd watch{fd, POLLIN, 0};
    const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      output.timedOut = ready == 0;
      return output;
    }
    char chunk[1024];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return output;
    output.text.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::optional<std::string> RunForOutput(const std::string& program, const std::vector<std::string>& arguments,
                                        std::chrono::milliseconds timeout) {
  const std::string path = FindProgram(program);
  if (path.empty()) return std::nullopt;
  std::vector<char*> argv = ExecArguments(program, arguments);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  const pid_t child = ::fork();
  if (child == 0) ExecWithOutputTo(pipeFds[1], nullFd, path.c_str(), argv.data());
  ::close(pipeFds[1]);
  if (nullFd >= 0) ::close(nullFd);
  if (child < 0) {
    ::close(pipeFds[0]);
    return std::nullopt;
  }
  CollectedOutput output = ReadUntilClosed(pipeFds[0], deadline);
  ::close(pipeFds[0]);
  if (output.timedOut) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (output.timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return std::move(output.text);
}

}  // namespace lumivane
