#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/HidChannel.h"
#include "sim/KeypadModel.h"

namespace lumivane::sim {

// One feature-report call made on a simulated device, in call order.
struct HidReportRecord {
  enum class Kind { Set, Get };
  Kind kind = Kind::Set;
  std::string path;
  std::array<std::uint8_t, 9> bytes{};  // sent (Set) or returned (Get)
  bool succeeded = true;  // all 9 bytes moved
};

// A HID service with configurable interfaces, some of them simulated
// keypads. The reports of a keypad go to its KeypadModel as the real
// keypad takes them: 9 bytes, report ID 0, a command block in data bytes
// 1..6, write data eight bytes to a report, the identity request and answer.
//
// Devices opened here refer to this object and must not outlive it.
class SimulatedHid : public HidBackend {
 public:
  // The keypad's identity; the vendor id is arbitrary (it is never examined).
  static HidDeviceInfo KeypadIdentity(std::string path);

  // clock: the keypads' time (their shift+load delay); the monotonic clock when null.
  explicit SimulatedHid(Clock* clock = nullptr);
  ~SimulatedHid() override;
  SimulatedHid(const SimulatedHid&) = delete;
  SimulatedHid& operator=(const SimulatedHid&) = delete;

  // A keypad with the right identity at path, or with any listed identity.
  KeypadModel& AddKeypad(const std::string& path, KeypadOptions options = {});
  KeypadModel& AddKeypad(HidDeviceInfo info, KeypadOptions options = {});
  // An interface that is no keypad: it opens, takes reports and answers zeros.
  void AddDevice(HidDeviceInfo info);
  // Open of this path fails with the given error (AccessDenied/EACCES).
  void SetOpenError(const std::string& path, ChannelError error);

  // Unplugs every device once `reports` feature-report calls have been made
  // (Set and Get together, counted from now): later calls fail, the devices
  // leave the enumeration and can no longer be opened.
  void UnplugAfterReports(std::size_t reports);
  void Unplug() { UnplugAfterReports(0); }
  // From the call `reports` calls from now on, every feature-report call
  // (of the given kind, or of both) moves only `moved` bytes (0..8) and
  // returns that count, as a device or driver that answers short would:
  // a short Set does not reach the keypad, a short Get leaves the
  // caller's buffer as it was.
  void ShortReportsAfter(std::size_t reports, int moved,
                         std::optional<HidReportRecord::Kind> kind = std::nullopt);
  bool IsUnplugged() const;

  std::vector<HidDeviceInfo> Enumerate() override;
  HidOpening Open(const std::string& path) override;

  // Every Open call, in order, successful or not.
  const std::vector<std::string>& openAttempts() const { return openAttempts_; }
  // Every feature-report call, in order.
  const std::vector<HidReportRecord>& reports() const { return reports_; }
  std::size_t SentReportCount() const;
  void ClearRecord();

  KeypadModel* KeypadAt(const std::string& path);

 private:
  struct Entry {
    HidDeviceInfo info;
    std::unique_ptr<KeypadModel> keypad;  // null: no keypad
    std::optional<ChannelError> openError;
  };
  class Device;
  friend class Device;

  Entry* Find(const std::string& path);
  struct ShortReports {
    std::size_t fromCall = 0;
    int moved = 0;
    std::optional<HidReportRecord::Kind> kind;
  };

  bool TakeReportCall();  // false once unplugged
  bool IsShort(std::size_t call, HidReportRecord::Kind kind) const;
  // One feature-report call: the bytes moved, or -1 when it failed.
  int Exchange(const std::string& path, HidReportRecord::Kind kind, std::uint8_t* report,
               std::size_t length);

  Clock* clock_;
  std::deque<Entry> entries_;
  std::vector<std::string> openAttempts_;
  std::vector<HidReportRecord> reports_;
  std::size_t reportCalls_ = 0;
  std::optional<std::size_t> unplugAt_;
  std::optional<ShortReports> shortReports_;
};

}  // namespace lumivane::sim
