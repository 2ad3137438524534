#pragma once
#include <CLI/CLI.hpp>

namespace lumivane {

// --wait SECONDS: a number from 0.001 to 1000000. A text that is no number
// ("abc", "nan") is refused as such; a number outside the range ("0",
// "-1", "inf") as out of range.
CLI::Validator WaitSecondsCheck();

}  // namespace lumivane
