#pragma once
// lumivane-cli run as a process of its own in the background, for tests
// that talk to it while it runs (signals, lines as they come).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestPaths.h"

extern char** environ;

namespace lumivane::test {

// A running lumivane-cli whose stdout the test reads line by line; killed
// when it goes away.
class CliBackground {
 public:
  // withStderr: the warnings on stderr come through the same pipe.
  // arguments: the subcommand and its arguments.
  explicit CliBackground(const std::vector<std::string>& arguments, bool withStderr = false) {
    std::vector<std::string> argv{ProgramDir() + "lumivane-cli"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (withStderr) posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    if (posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~CliBackground() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (out_ >= 0) close(out_);
  }

  bool started() const { return pid_ > 0; }
  // The reader goes away, as `| head -1` does.
  void CloseOutput() {
    close(out_);
    out_ = -1;
  }
  void Interrupt() { kill(pid_, SIGINT); }
  void Signal(int signalNumber) { kill(pid_, signalNumber); }

  // The next whole line of stdout; false at its end.
  bool ReadLine(std::string* line) {
    for (;;) {
      const auto newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        *line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        return true;
      }
      char chunk[256];
      const ssize_t got = read(out_, chunk, sizeof chunk);
      if (got <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }
  std::vector<std::string> ReadAll() {
    std::vector<std::string> lines;
    std::string line;
    while (ReadLine(&line)) lines.push_back(line);
    return lines;
  }
  CliBackground(const CliBackground&) = delete;
  CliBackground& operator=(const CliBackground&) = delete;

  // The exit status, or -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

}  // namespace lumivane::test
