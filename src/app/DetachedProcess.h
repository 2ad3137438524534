#pragma once
#include <string>
#include <system_error>
#include <vector>

namespace lumivane {

// The path of `program`: as it is when it holds a '/', else the first
// executable file of that name in the folders of PATH; empty when none.
// Found before a fork, since after it only async-signal-safe calls are
// allowed, and execvp is not one of them.
std::string FindProgram(const std::string& program);

// Starts `program` (searched on PATH when it holds no '/') with `arguments`,
// byte for byte, as a process of its own that this one never waits for:
// it is orphaned at once, in a session of its own, with an empty signal
// mask. Returns no error once the program runs, else the errno of the
// failure (generic category).
std::error_code StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments);

// The argument vector execve takes: the program as it was named, the
// arguments, a null pointer. It points into the strings, which must outlive it.
std::vector<char*> ExecArguments(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace lumivane
