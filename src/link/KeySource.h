#pragma once
#include <chrono>
#include <vector>

namespace lumivane {

// Where the keypad's answers arrive on the PC/AT link: the keypad types
// them, and whoever runs the download (the window, the command line, a
// test) hands the key presses on.
class KeySource {
 public:
  virtual ~KeySource() = default;

  // Waits at most `timeout` for the next key press that reaches the
  // application and takes it away from everything else. Returns the key as
  // an upper-case character code (Qt key code for letters and punctuation),
  // another non-negative value for other keys, or -1 when the time ran out.
  virtual int WaitKeyPress(std::chrono::milliseconds timeout) = 0;
  // Drops every key typed so far that WaitKeyPress has not handed out, and
  // returns them (coded as WaitKeyPress returns keys).
  virtual std::vector<int> DiscardTypedKeys() = 0;
};

}  // namespace lumivane
