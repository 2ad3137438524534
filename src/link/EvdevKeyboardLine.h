#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "link/EvdevRepeatControl.h"
#include "link/KeyboardLine.h"

namespace lumivane {

// The PC/AT keyboard line on Linux: each typematic setting is requested on
// the keyboard's evdev node with EVIOCSREP, and the PS/2 driver sends it to
// the keyboard (and so to a keypad on the keyboard line) as the typematic
// command with its parameter byte.
//
// The driver merges requests that come less than 50 ms apart into one
// command, so settings are spaced at least kMinimumSpacing apart, and each
// is confirmed with EVIOCGREP (the node holds the rounded table values once
// the driver has sent it) before the next one goes out.
class EvdevKeyboardLine : public KeyboardLine {
 public:
  static constexpr char kDefaultNode[] = "/dev/input/by-path/platform-i8042-serio-0-event-kbd";
  static constexpr std::chrono::milliseconds kMinimumSpacing{60};
  // How long a setting may take to show on the node before it counts as failed.
  static constexpr std::chrono::milliseconds kConfirmTimeout{500};
  static constexpr std::chrono::milliseconds kConfirmPollInterval{2};

  explicit EvdevKeyboardLine(std::string node);
  EvdevKeyboardLine(std::string node, std::unique_ptr<RepeatControl> control);
  ~EvdevKeyboardLine() override;
  EvdevKeyboardLine(const EvdevKeyboardLine&) = delete;
  EvdevKeyboardLine& operator=(const EvdevKeyboardLine&) = delete;

  // Opens the node read-write; the reason on failure is "<node>: <system text>".
  bool Open(std::string* error) override;
  // Closes the node. The keyboard keeps the last setting: sending the old
  // values back would put one more byte on the line after the download.
  void Close() override;
  bool SetTypematic(std::uint8_t rate, std::uint8_t delay) override;

  const std::string& node() const { return node_; }

 private:
  void WaitForSpacing();
  bool WaitUntilHeld(const RepeatSetting& wanted);

  std::string node_;
  std::unique_ptr<RepeatControl> control_;
  bool open_ = false;
  RepeatSetting held_;
  bool anySettingSent_ = false;
  std::chrono::steady_clock::time_point lastRequest_{};
};

}  // namespace lumivane
