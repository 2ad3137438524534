#include "app/ProgramOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "app/DetachedProcess.h"

namespace lumivane {

bool RunForOutput(const std::string& program, const std::vector<std::string>& arguments,
                  std::chrono::milliseconds timeout, std::string* output) {
  output->clear();
  const std::string path = FindProgram(program);
  if (path.empty()) return false;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t child = ::fork();
  if (child == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (nullFd >= 0) {
      ::dup2(nullFd, STDIN_FILENO);
      ::dup2(nullFd, STDERR_FILENO);
    }
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::execve(path.c_str(), argv.data(), ::environ);
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (nullFd >= 0) ::close(nullFd);
  if (child < 0) {
    ::close(pipeFds[0]);
    return false;
  }

  // Read until the program closes its output or the time is up.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                            std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd fd{pipeFds[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    char chunk[1024];
    const ssize_t got = ::read(pipeFds[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output->append(chunk, static_cast<std::size_t>(got));
  }
  ::close(pipeFds[0]);
  if (timedOut) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace lumivane
