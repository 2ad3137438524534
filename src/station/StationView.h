#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "station/StationStatus.h"

namespace lumivane {

// The station as text, built from its snapshot alone: on a terminal a
// block of one line per slot and a summary line, redrawn in place; off a
// terminal one line per event.

// Where the slot is: "waiting for shift+load", "transferring", "remove the keypad", ...
std::string SlotActivity(const SlotStatus& slot);
// "PASS", "FAIL: <status line>", "not served", or empty before the first outcome.
std::string SlotVerdict(const SlotStatus& slot);
// "3 passed, 1 failed, 240 passed per hour".
std::string SummaryLine(const StationCounts& counts);

// One slot's line of the block: title, activity, bytes done of all, verdict.
std::string SlotLine(const SlotStatus& slot, std::size_t titleWidth);

// Off a terminal: the line for an event; none for progress, which the
// outcome line sums up.
std::optional<std::string> EventLine(const StationEvent& event, const StationSnapshot& snapshot);

// The block on a terminal. Each call returns the bytes to write: they move
// the cursor back over the block drawn before and draw it anew, every line
// cut to `width` columns so that none wraps.
class TerminalScreen {
 public:
  std::string Redraw(const StationSnapshot& snapshot, std::size_t width);
  // A line that stays, printed where the block was; the block follows it.
  std::string PrintAbove(const std::string& line, const StationSnapshot& snapshot, std::size_t width);

 private:
  std::string Erase();
  std::size_t drawnLines_ = 0;
};

}  // namespace lumivane
