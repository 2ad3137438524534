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
  Device(SimulatedHid& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

  int SendFeatureReport(const std::uint8_t* report, std::size_t length) override {
    std::uint8_t copy[kReportLength] = {};
    std::memcpy(copy, report, std::min(length, kReportLength));
    return owner_.Exchange(path_, HidReportRecord::Kind::Set, copy, length);
  }
  int GetFeatureReport(std::uint8_t* report, std::size_t length) override {
    return owner_.Exchange(path_, HidReportRecord::Kind::Get, report, length);
  }

 private:
  SimulatedHid& owner_;
  std::string path_;
};

HidDeviceInfo SimulatedHid::KeypadIdentity(std::string path) {
  HidDeviceInfo info;
  info.path = std::move(path);
  info.vendorId = 0x16C0;
  info.productId = 0x3A2A;
  info.releaseNumber = 0x5A4A;
  info.usagePage = 0xFF00;
  info.manufacturer = L"Zoret";
  return info;
}

SimulatedHid::SimulatedHid(Clock* clock) : clock_(clock) {}

SimulatedHid::~SimulatedHid() = default;

KeypadModel& SimulatedHid::AddKeypad(const std::string& path, KeypadOptions options) {
  return AddKeypad(KeypadIdentity(path), std::move(options));
}

KeypadModel& SimulatedHid::AddKeypad(HidDeviceInfo info, KeypadOptions options) {
  Entry& entry = entries_.emplace_back();
  entry.info = std::move(info);
  entry.keypad = std::make_unique<KeypadModel>(std::move(options), clock_);
  return *entry.keypad;
}

void SimulatedHid::AddDevice(HidDeviceInfo info) {
  entries_.push_back(Entry{std::move(info), {}, {}});
}

void SimulatedHid::SetOpenError(const std::string& path, ChannelError error) {
  if (Entry* entry = Find(path)) entry->openError = std::move(error);
}

void SimulatedHid::UnplugAfterReports(std::size_t reports) { unplugAt_ = reportCalls_ + reports; }

void SimulatedHid::ShortReportsAfter(std::size_t reports, int moved,
                                     std::optional<HidReportRecord::Kind> kind) {
  shortReports_ = ShortReports{reportCalls_ + reports, moved, kind};
}

bool SimulatedHid::IsUnplugged() const { return unplugAt_ && reportCalls_ >= *unplugAt_; }

std::vector<HidDeviceInfo> SimulatedHid::Enumerate() {
  std::vector<HidDeviceInfo> list;
  if (IsUnplugged()) return list;
  for (const Entry& entry : entries_) list.push_back(entry.info);
  return list;
}

HidOpening SimulatedHid::Open(const std::string& path) {
  openAttempts_.push_back(path);
  const Entry* entry = IsUnplugged() ? nullptr : Find(path);
  if (!entry) return {nullptr, ChannelError(ChannelErrorKind::NotFound, ENOENT)};
  if (entry->openError) return {nullptr, *entry->openError};
  return {std::make_unique<Device>(*this, path), {}};
}

std::size_t SimulatedHid::SentReportCount() const {
  return static_cast<std::size_t>(
      std::count_if(reports_.begin(), reports_.end(),
                    [](const HidReportRecord& r) { return r.kind == HidReportRecord::Kind::Set; }));
}

void SimulatedHid::ClearRecord() {
  reports_.clear();
  openAttempts_.clear();
}

KeypadModel* SimulatedHid::KeypadAt(const std::string& path) {
  Entry* entry = Find(path);
  return entry ? entry->keypad.get() : nullptr;
}

SimulatedHid::Entry* SimulatedHid::Find(const std::string& path) {
  for (Entry& entry : entries_) {
    if (entry.info.path == path) return &entry;
  }
  return nullptr;
}

bool SimulatedHid::TakeReportCall() {
  if (IsUnplugged()) return false;
  ++reportCalls_;
  return true;
}

int SimulatedHid::Exchange(const std::string& path, HidReportRecord::Kind kind,
                           std::uint8_t* report, std::size_t length) {
  HidReportRecord record;
  record.kind = kind;
  record.path = path;
  std::memcpy(record.bytes.data(), report, std::min(length, kReportLength));
  const std::size_t call = reportCalls_;
  // The keypad has no numbered reports: anything but a 9-byte report with
  // ID 0 is refused, as the device would stall it.
  bool ok = TakeReportCall() && length == kReportLength && report[0] == 0;
  Entry* entry = ok ? Find(path) : nullptr;
  KeypadModel* keypad = entry ? entry->keypad.get() : nullptr;
  int moved = -1;
  if (entry == nullptr) {
    moved = -1;
  } else if (IsShort(call, kind)) {
    // Moves only part of the report: the keypad gets nothing of it, and a
    // fetch leaves the caller's buffer as it was.
    moved = shortReports_->moved;
  } else if (keypad && (keypad->IsHungUp() || keypad->StoppedReading())) {
    moved = -1;  // the keypad is gone or takes nothing more
  } else if (kind == HidReportRecord::Kind::Set) {
    moved = !keypad || keypad->OnSetFeature(report) ? static_cast<int>(kReportLength) : -1;
  } else {
    if (keypad) {
      keypad->OnGetFeature(report);
    } else {
      std::memset(report, 0, kReportLength);
    }
    std::memcpy(record.bytes.data(), report, kReportLength);
    moved = static_cast<int>(kReportLength);
  }
  record.succeeded = moved == static_cast<int>(kReportLength);
  reports_.push_back(record);
  return moved;
}

bool SimulatedHid::IsShort(std::size_t call, HidReportRecord::Kind kind) const {
  return shortReports_ && call >= shortReports_->fromCall &&
         (!shortReports_->kind || *shortReports_->kind == kind);
}

}  // namespace lumivane::sim
