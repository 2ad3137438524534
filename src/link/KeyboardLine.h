#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

// The PC/AT keyboard line: bytes reach the keypad as typematic settings.
// The keypad answers by typing keys, which arrive through the download host.
class KeyboardLine {
 public:
  virtual ~KeyboardLine() = default;
  // Prepares the line for one download; false with a reason ("<node>: Permission denied").
  virtual bool Open(std::string* error) = 0;
  virtual void Close() = 0;
  // One typematic setting: rate index 0..31 (BL) and delay index 0..3 (BH),
  // sent to the keyboard as the parameter byte delay * 32 + rate.
  // false when the setting could not be applied.
  virtual bool SetTypematic(std::uint8_t rate, std::uint8_t delay) = 0;
  // Why the last SetTypematic failed, naming the node ("<node>: <reason>");
  // empty when there is nothing to add.
  virtual std::string FailureReason() const { return {}; }
};

}  // namespace lumivane
