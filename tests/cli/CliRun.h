#pragma once
// Runs lumivane-cli through the shell and collects what it prints.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace lumivane::test {

struct CliRun {
  int status = -1;
  std::string output;  // standard output, then standard error when merged
};

inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// `command` is shell text; standard input is /dev/null, standard error
// joins standard output.
inline CliRun RunShell(const std::string& command) {
  CliRun result;
  std::FILE* pipe = popen((command + " </dev/null 2>&1").c_str(), "r");
  if (!pipe) return result;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, got);
  const int raw = pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

}  // namespace lumivane::test
