#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace lumivane {

// Autorepeat values of an evdev keyboard node, in milliseconds.
struct RepeatSetting {
  unsigned delayMs = 0;
  unsigned periodMs = 0;
  bool operator==(const RepeatSetting&) const = default;
};

// The PS/2 keyboard driver's tables: the typematic rate index selects a
// period, the delay index a delay. The driver picks the first entry not
// below a requested value and then holds that entry as the node's value.
inline constexpr std::array<unsigned, 32> kTypematicPeriodsMs = {
    33,  37,  42,  46,  50,  54,  58,  63,  67,  75,  83,  92,  100, 109, 116, 125,
    133, 149, 167, 182, 200, 217, 232, 250, 270, 303, 333, 370, 400, 435, 470, 500};
inline constexpr std::array<unsigned, 4> kTypematicDelaysMs = {250, 500, 750, 1000};

// What the node holds once the driver has sent the setting (rate 0..31, delay 0..3).
RepeatSetting HeldSettingFor(std::uint8_t rate, std::uint8_t delay);

// The values to request so that the driver sends exactly the setting
// (rate, delay) to the keyboard, given what the node holds now.
// A value that must change is asked for as its table entry minus one: that
// rounds up to the entry, and it never equals a value the node holds after
// a setting, so the driver never drops it as unchanged, even when the same
// setting is sent twice in a row. A value whose entry the node already
// holds is left as it is, as long as the other one changes, so that most
// requests reach the driver as a single event. When both change, the
// kernel injects two events (delay, then period); the driver's work
// normally runs after the ioctl has returned and sends both in one
// command, but a kernel that preempts between the two could send an extra
// setting with the new delay and the old period.
RepeatSetting RepeatRequestFor(std::uint8_t rate, std::uint8_t delay, const RepeatSetting& held);

// Who a keyboard's evdev node says it is (EVIOCGID): the bus (BUS_I8042,
// BUS_USB, ... of <linux/input.h>) and the device's vendor and product.
struct NodeIdentity {
  std::uint16_t busType = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
};

// Access to a keyboard's evdev node: the EVIOCSREP / EVIOCGREP / EVIOCGID
// calls. Replaced by a model of the driver in tests.
class RepeatControl {
 public:
  virtual ~RepeatControl() = default;
  // 0 on success, else the errno value.
  virtual int Open(const std::string& node) = 0;
  virtual void Close() = 0;
  virtual int SetRepeat(const RepeatSetting& setting) = 0;
  virtual int GetRepeat(RepeatSetting* setting) = 0;
  virtual int GetIdentity(NodeIdentity* identity) = 0;
};

// The real node, opened read-write.
std::unique_ptr<RepeatControl> MakeEvdevRepeatControl();

}  // namespace lumivane
