#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
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
// Several keypads may be plugged in at once, each with its own node, port
// and serial number, and each may leave and come back; every call may come
// from another thread (a station serves each keypad on a thread of its
// own). A handle reaches the device it was opened on only while that
// device stays plugged in: after an unplug it fails for good, as a real
// node's descriptor does, even when the device comes back.
//
// Devices opened here refer to this object and must not outlive it.
class SimulatedHid : public HidBackend {
 public:
  // The keypad's identity; the vendor id is arbitrary (it is never
  // examined). The port and serial number only tell keypads apart.
  static HidDeviceInfo KeypadIdentity(std::string path, std::string portPath = {},
                                      std::string serialNumber = {});

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

  // The device at `path` leaves: it is no longer listed, cannot be opened,
  // and the handles opened on it fail. PlugIn brings it back, with the
  // keypad's memory as it was, at `newPath` when one is given (the system
  // may give a device that comes back another node).
  void Unplug(const std::string& path);
  void PlugIn(const std::string& path, const std::string& newPath = {});
  // The device at `path` leaves once `reports` more feature-report calls
  // have been made on it: the call that would be the next fails.
  void UnplugAfterReports(const std::string& path, std::size_t reports);
  // From the call `reports` calls from now on, each feature-report call on
  // the device at `path` blocks, as a device that stopped answering its
  // control requests does, until ReleaseBlockedReports (then it goes on
  // normally) or the device is unplugged (then it fails).
  void BlockReportsAfter(const std::string& path, std::size_t reports);
  void ReleaseBlockedReports(const std::string& path);
  // How many calls are blocked in the device at `path` now.
  std::size_t BlockedCalls(const std::string& path);

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
  // Each feature-report call takes this long on the clock before it
  // reaches its device, as a USB control transfer takes its time on the
  // bus; calls on different devices overlap. 0 (the default): none.
  void SetReportTime(std::chrono::microseconds duration) { reportTime_ = duration; }

  std::vector<HidDeviceInfo> Enumerate() override;
  HidOpening Open(const std::string& path) override;

  // Every Open call, in order, successful or not. Read these records, and
  // the keypads through KeypadAt, once no other thread reports.
  const std::vector<std::string>& openAttempts() const { return openAttempts_; }
  // Every feature-report call, in order.
  const std::vector<HidReportRecord>& reports() const { return reports_; }
  std::size_t SentReportCount() const;
  void ClearRecord();

  KeypadModel* KeypadAt(const std::string& path);
  // Runs function(model) on the keypad at `path` while no report reaches
  // it; false when there is no keypad there.
  template <typename Function>
  bool WithKeypad(const std::string& path, Function&& function) {
    std::lock_guard<std::mutex> lock(mutex_);
    KeypadModel* keypad = KeypadAtLocked(path);
    if (keypad) function(*keypad);
    return keypad != nullptr;
  }

 private:
  struct Entry {
    HidDeviceInfo info;
    std::unique_ptr<KeypadModel> keypad;  // null: no keypad
    std::optional<ChannelError> openError;
    bool present = true;
    std::size_t generation = 0;  // counts the unplugs: a handle of an earlier one is dead
    std::size_t calls = 0;       // feature-report calls made on this device
    std::optional<std::size_t> unplugAt;  // calls at which it leaves
    std::optional<std::size_t> blockAt;   // calls from which a call blocks
    std::size_t blocked = 0;
  };
  class Device;
  friend class Device;

  // The device listed at path now, else the last one that was.
  Entry* Find(const std::string& path);
  KeypadModel* KeypadAtLocked(const std::string& path);
  void UnplugLocked(Entry& entry);
  // Blocks while the device blocks its calls; false when it left meanwhile.
  bool WaitWhileBlocked(std::unique_lock<std::mutex>& lock, Entry& entry, std::size_t generation);
  struct ShortReports {
    std::size_t fromCall = 0;
    int moved = 0;
    std::optional<HidReportRecord::Kind> kind;
  };

  bool TakeReportCall(Entry& entry, std::size_t generation);  // false once unplugged
  bool IsShort(std::size_t call, HidReportRecord::Kind kind) const;
  bool AllUnplugged() const;  // the unplug of every device has come
  // One feature-report call through a handle of the device's `generation`:
  // the bytes moved, or -1 when it failed.
  int Exchange(Entry& entry, std::size_t generation, HidReportRecord::Kind kind, std::uint8_t* report,
               std::size_t length);
  // The keypad's part of a call that reached it.
  int ExchangeWithKeypad(Entry& entry, HidReportRecord::Kind kind, std::uint8_t* report,
                         HidReportRecord& record);

  mutable std::mutex mutex_;
  std::condition_variable unblocked_;
  Clock* clock_;
  std::atomic<std::chrono::microseconds> reportTime_{std::chrono::microseconds(0)};
  std::deque<Entry> entries_;
  std::vector<std::string> openAttempts_;
  std::vector<HidReportRecord> reports_;
  std::size_t reportCalls_ = 0;
  std::optional<std::size_t> unplugAt_;
  std::optional<ShortReports> shortReports_;
};

}  // namespace lumivane::sim
