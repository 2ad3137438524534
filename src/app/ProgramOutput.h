#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace lumivane {

// Runs `program` (searched on PATH) with `arguments`, standard input and
// standard error on /dev/null, and collects its standard output. Bounded:
// a program still running after `timeout` is killed. Returns the output,
// or nothing when the program could not be started, was killed, or did
// not exit with status 0.
std::optional<std::string> RunForOutput(const std::string& program, const std::vector<std::string>& arguments,
                                        std::chrono::milliseconds timeout);

}  // namespace lumivane
