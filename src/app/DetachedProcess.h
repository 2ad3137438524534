#pragma once
#include <string>
#include <vector>

namespace lumivane {

// Starts `program` (searched on PATH when it holds no '/') with `arguments`,
// byte for byte, as a process of its own that this one never waits for:
// it is orphaned at once, in a session of its own, with an empty signal
// mask. Returns 0 once the program runs, else the errno of the failure.
int StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace lumivane
