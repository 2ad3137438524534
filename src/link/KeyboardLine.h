#pragma once
#include <cstdint>
#include <string>

#include "link/ChannelError.h"

namespace lumivane {

// The PC/AT keyboard line: bytes reach the keypad as typematic settings.
// The keypad answers by typing keys, which arrive through the download host.
class KeyboardLine {
 public:
  virtual ~KeyboardLine() = default;
  // The keyboard's node as status lines name it ("/dev/input/event3").
  virtual std::string Name() const = 0;
  // Prepares the line for one download.
  virtual ChannelError Open() = 0;
  virtual void Close() = 0;
  // One typematic setting: rate index 0..31 (BL) and delay index 0..3 (BH),
  // sent to the keyboard as the parameter byte delay * 32 + rate. Fails
  // when the setting could not be applied.
  virtual ChannelError SetTypematic(std::uint8_t rate, std::uint8_t delay) = 0;
};

// The status line for a failure of the line: "<node>: <reason>"
// ("/dev/input/event3: Permission denied").
inline std::string DescribeKeyboardLineFailure(const KeyboardLine& line, const ChannelError& error) {
  const std::string name = line.Name();
  return name.empty() ? error.Reason() : name + ": " + error.Reason();
}

}  // namespace lumivane
