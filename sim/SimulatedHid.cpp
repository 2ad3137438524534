#include "sim/SimulatedHid.h"

#include <cerrno>

#include <algorithm>
#include <cstring>
#include <utility>

namespace lumivane::sim {

namespace {
constexpr std::size_t kReportLength = 9;
}

// An open simulated interface: every call goes back to the backend, which
// keeps the record and the unplug state.
class SimulatedHid::Device : public HidDevice {
 public:
  Device(SimulatedHid& owner, Entry& entry, std::size_t generation)
      : owner_(owner), entry_(entry), generation_(generation) {}

  int SendFeatureReport(const std::uint8_t* report, std::size_t length) override {
    std::uint8_t copy[kReportLength] = {};
    std::memcpy(copy, report, std::min(length, kReportLength));
    return owner_.Exchange(entry_, generation_, HidReportRecord::Kind::Set, copy, length);
  }
  int GetFeatureReport(std::uint8_t* report, std::size_t length) override {
    return owner_.Exchange(entry_, generation_, HidReportRecord::Kind::Get, report, length);
  }

 private:
  SimulatedHid& owner_;
  Entry& entry_;  // entries are never removed
  std::size_t generation_;
};

HidDeviceInfo SimulatedHid::KeypadIdentity(std::string path, std::string portPath, std::string serialNumber) {
  HidDeviceInfo info;
  info.path = std::move(path);
  info.vendorId = 0x16C0;
  info.productId = 0x3A2A;
  info.releaseNumber = 0x5A4A;
  info.usagePage = 0xFF00;
  info.manufacturer = L"Zoret";
  info.portPath = std::move(portPath);
  info.serialNumber = std::move(serialNumber);
  return info;
}

SimulatedHid::SimulatedHid(Clock* clock) : clock_(clock) {}

SimulatedHid::~SimulatedHid() = default;

KeypadModel& SimulatedHid::AddKeypad(const std::string& path, KeypadOptions options) {
  return AddKeypad(KeypadIdentity(path), std::move(options));
}

KeypadModel& SimulatedHid::AddKeypad(HidDeviceInfo info, KeypadOptions options) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = entries_.emplace_back();
  entry.info = std::move(info);
  entry.keypad = std::make_unique<KeypadModel>(std::move(options), clock_);
  return *entry.keypad;
}

void SimulatedHid::AddDevice(HidDeviceInfo info) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = entries_.emplace_back();
  entry.info = std::move(info);
}

void SimulatedHid::SetOpenError(const std::string& path, ChannelError error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Entry* entry = Find(path)) entry->openError = std::move(error);
}

void SimulatedHid::Unplug(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Entry* entry = Find(path)) UnplugLocked(*entry);
}

void SimulatedHid::UnplugLocked(Entry& entry) {
  if (!entry.present) return;
  entry.present = false;
  ++entry.generation;
  entry.unplugAt.reset();
  entry.blockAt.reset();
  unblocked_.notify_all();  // a blocked call fails now
}

void SimulatedHid::PlugIn(const std::string& path, const std::string& newPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* entry = Find(path);
  if (entry == nullptr || entry->present) return;
  entry->present = true;
  if (!newPath.empty()) entry->info.path = newPath;
}

void SimulatedHid::UnplugAfterReports(const std::string& path, std::size_t reports) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Entry* entry = Find(path)) entry->unplugAt = entry->calls + reports;
}

void SimulatedHid::BlockReportsAfter(const std::string& path, std::size_t reports) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Entry* entry = Find(path)) entry->blockAt = entry->calls + reports;
}

void SimulatedHid::ReleaseBlockedReports(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Entry* entry = Find(path)) entry->blockAt.reset();
  unblocked_.notify_all();
}

std::size_t SimulatedHid::BlockedCalls(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* entry = Find(path);
  return entry ? entry->blocked : 0;
}

void SimulatedHid::UnplugAfterReports(std::size_t reports) {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugAt_ = reportCalls_ + reports;
}

void SimulatedHid::ShortReportsAfter(std::size_t reports, int moved,
                                     std::optional<HidReportRecord::Kind> kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  shortReports_ = ShortReports{reportCalls_ + reports, moved, kind};
}

bool SimulatedHid::IsUnplugged() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return AllUnplugged();
}

bool SimulatedHid::AllUnplugged() const { return unplugAt_ && reportCalls_ >= *unplugAt_; }

std::vector<HidDeviceInfo> SimulatedHid::Enumerate() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HidDeviceInfo> list;
  if (AllUnplugged()) return list;
  for (const Entry& entry : entries_) {
    if (entry.present) list.push_back(entry.info);
  }
  return list;
}

HidOpening SimulatedHid::Open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  openAttempts_.push_back(path);
  Entry* entry = AllUnplugged() ? nullptr : Find(path);
  if (entry != nullptr && !entry->present) entry = nullptr;
  if (!entry) return {nullptr, ChannelError(ChannelErrorKind::NotFound, ENOENT)};
  if (entry->openError) return {nullptr, *entry->openError};
  return {std::make_unique<Device>(*this, *entry, entry->generation), {}};
}

std::size_t SimulatedHid::SentReportCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(reports_.begin(), reports_.end(),
                    [](const HidReportRecord& r) { return r.kind == HidReportRecord::Kind::Set; }));
}

void SimulatedHid::ClearRecord() {
  std::lock_guard<std::mutex> lock(mutex_);
  reports_.clear();
  openAttempts_.clear();
}

KeypadModel* SimulatedHid::KeypadAt(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return KeypadAtLocked(path);
}

KeypadModel* SimulatedHid::KeypadAtLocked(const std::string& path) {
  Entry* entry = Find(path);
  return entry ? entry->keypad.get() : nullptr;
}

SimulatedHid::Entry* SimulatedHid::Find(const std::string& path) {
  Entry* found = nullptr;
  for (Entry& entry : entries_) {
    if (entry.info.path != path) continue;
    if (entry.present) return &entry;
    found = &entry;
  }
  return found;
}

bool SimulatedHid::WaitWhileBlocked(std::unique_lock<std::mutex>& lock, Entry& entry, std::size_t generation) {
  if (!entry.blockAt || entry.calls < *entry.blockAt) return true;
  ++entry.blocked;
  unblocked_.wait(lock, [&] { return entry.generation != generation || !entry.blockAt; });
  --entry.blocked;
  return entry.generation == generation;
}

bool SimulatedHid::TakeReportCall(Entry& entry, std::size_t generation) {
  if (AllUnplugged() || entry.generation != generation) return false;
  if (entry.unplugAt && entry.calls >= *entry.unplugAt) {
    UnplugLocked(entry);
    return false;
  }
  ++reportCalls_;
  ++entry.calls;
  return true;
}

int SimulatedHid::Exchange(Entry& entry, std::size_t generation, HidReportRecord::Kind kind,
                           std::uint8_t* report, std::size_t length) {
  if (const std::chrono::microseconds time = reportTime_.load(); time.count() > 0) {
    SteadyClock steady;
    Clock& clock = clock_ != nullptr ? *clock_ : steady;
    clock.SleepUntil(clock.Now() + time);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  HidReportRecord record;
  record.kind = kind;
  record.path = entry.info.path;
  std::memcpy(record.bytes.data(), report, std::min(length, kReportLength));
  const std::size_t call = reportCalls_;
  // The keypad has no numbered reports: anything but a 9-byte report with
  // ID 0 is refused, as the device would stall it.
  const bool reached = WaitWhileBlocked(lock, entry, generation) && TakeReportCall(entry, generation) &&
                       length == kReportLength && report[0] == 0;
  int moved = -1;
  if (!reached) {
    moved = -1;
  } else if (IsShort(call, kind)) {
    // Moves only part of the report: the keypad gets nothing of it, and a
    // fetch leaves the caller's buffer as it was.
    moved = shortReports_->moved;
  } else {
    moved = ExchangeWithKeypad(entry, kind, report, record);
  }
  record.succeeded = moved == static_cast<int>(kReportLength);
  reports_.push_back(record);
  return moved;
}

int SimulatedHid::ExchangeWithKeypad(Entry& entry, HidReportRecord::Kind kind, std::uint8_t* report,
                                     HidReportRecord& record) {
  KeypadModel* keypad = entry.keypad.get();
  if (keypad && (keypad->IsHungUp() || keypad->StoppedReading())) return -1;  // gone, or takes nothing more
  if (kind == HidReportRecord::Kind::Set) {
    return !keypad || keypad->OnSetFeature(report) ? static_cast<int>(kReportLength) : -1;
  }
  if (keypad) {
    keypad->OnGetFeature(report);
  } else {
    std::memset(report, 0, kReportLength);
  }
  std::memcpy(record.bytes.data(), report, kReportLength);
  return static_cast<int>(kReportLength);
}

bool SimulatedHid::IsShort(std::size_t call, HidReportRecord::Kind kind) const {
  return shortReports_ && call >= shortReports_->fromCall &&
         (!shortReports_->kind || *shortReports_->kind == kind);
}

}  // namespace lumivane::sim
