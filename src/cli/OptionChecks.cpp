#include "cli/OptionChecks.h"

#include <cmath>
#include <string>

namespace lumivane {

CLI::Validator WaitSecondsCheck() {
  // CLI11's range check lets NaN through (no comparison with it is true)
  // and calls a text that is no number "not in range".
  const CLI::Range range(0.001, 1.0e6);
  return CLI::Validator(
      [range](std::string& text) {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || std::isnan(value))
          return "Value " + text + " is not a number";
        return range(text);
      },
      range.get_description());
}

}  // namespace lumivane
