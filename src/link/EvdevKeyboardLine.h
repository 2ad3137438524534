#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "link/Clock.h"
#include "link/EvdevRepeatControl.h"
#include "link/KeyboardLine.h"
#include "link/KeyboardNodeCheck.h"

namespace lumivane {

// The PC/AT keyboard line on Linux: each typematic setting is requested on
// the keyboard's evdev node with EVIOCSREP, and the PS/2 driver sends it to
// the keyboard (and so to a keypad on the keyboard line) as the typematic
// command with its parameter byte.
//
// The driver merges requests that come less than 50 ms apart into one
// command, so settings are spaced at least kMinimumSpacing apart, and each
// is confirmed with EVIOCGREP (the node holds the rounded table values once
// the driver has sent it) before the next one goes out. Both waits run on
// the clock given at construction.
//
// The keyboard belongs to the user: Close puts back the repeat delay and
// period that the node had at Open, after the same spacing, so that the
// download leaves no trace in how keys repeat.
class EvdevKeyboardLine : public KeyboardLine {
 public:
  static constexpr char kDefaultNode[] = "/dev/input/by-path/platform-i8042-serio-0-event-kbd";
  static constexpr std::chrono::milliseconds kMinimumSpacing{60};
  // How long a setting may take to show on the node before it counts as failed.
  static constexpr std::chrono::milliseconds kConfirmTimeout = kRepeatConfirmTimeout;

  EvdevKeyboardLine(std::string node, Clock& clock);
  // sysfsRoot: where sysfs is mounted; it tells which keyboards cannot work.
  EvdevKeyboardLine(std::string node, std::unique_ptr<RepeatControl> control, Clock& clock,
                    std::string sysfsRoot = "/sys");
  ~EvdevKeyboardLine() override;
  EvdevKeyboardLine(const EvdevKeyboardLine&) = delete;
  EvdevKeyboardLine& operator=(const EvdevKeyboardLine&) = delete;

  // The keyboard node's errno values as kinds: the shared map
  // (ChannelError.h), but for the one errno the node gives a meaning of its own.
  static ChannelError ErrorFromErrno(int systemError);

  std::string Name() const override { return node_; }
  // Opens the node read-write. Fails with the system's errno, or with why
  // the keyboard cannot carry the link (Unsupported): what sysfs or the
  // node's identity tells, or a setting that no driver rounds (see
  // CheckTypematicNode; the node gets its values back).
  ChannelError Open() override;
  // Restores the repeat settings of Open when any setting was sent (one
  // more typematic command on the line, after the download's last one),
  // then closes the node.
  void Close() override;
  ChannelError SetTypematic(std::uint8_t rate, std::uint8_t delay) override;

  const std::string& node() const { return node_; }

 private:
  void WaitForSpacing();
  ChannelError WaitUntilHeld(const RepeatSetting& request, const RepeatSetting& wanted);
  std::string RefusalFromSysfs() const;

  std::string node_;
  std::unique_ptr<RepeatControl> control_;
  Clock& clock_;
  std::string sysfsRoot_;
  bool open_ = false;
  RepeatSetting atOpen_;
  RepeatSetting held_;
  bool anySettingSent_ = false;
  Clock::TimePoint lastRequest_{};
};

}  // namespace lumivane
