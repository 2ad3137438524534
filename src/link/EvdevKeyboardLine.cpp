#include "link/EvdevKeyboardLine.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "link/KeyboardNodeCheck.h"

namespace lumivane {

EvdevKeyboardLine::EvdevKeyboardLine(std::string node)
    : EvdevKeyboardLine(std::move(node), MakeEvdevRepeatControl()) {}

EvdevKeyboardLine::EvdevKeyboardLine(std::string node, std::unique_ptr<RepeatControl> control,
                                     std::string sysfsRoot)
    : node_(std::move(node)), control_(std::move(control)), sysfsRoot_(std::move(sysfsRoot)) {}

EvdevKeyboardLine::~EvdevKeyboardLine() { Close(); }

std::string EvdevKeyboardLine::RefusalFromSysfs() const {
  struct stat status {};
  if (::stat(node_.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return {};
  return TypematicRefusalFromSysfs(major(status.st_rdev), minor(status.st_rdev), sysfsRoot_);
}

bool EvdevKeyboardLine::Open(std::string* error) {
  Close();
  failure_.clear();
  int result = control_->Open(node_);
  // A node without hardware repeat answers EVIOCGREP with an error, so it is
  // refused here rather than at the first byte.
  if (result == 0) {
    result = control_->GetRepeat(&held_);
    if (result != 0) control_->Close();
  }
  if (result != 0) {
    if (error) *error = node_ + ": " + std::strerror(result);
    return false;
  }
  // So is a keyboard whose driver never sends typematic settings to it.
  const std::string refusal = RefusalFromSysfs();
  if (!refusal.empty()) {
    control_->Close();
    if (error) *error = node_ + ": " + refusal;
    return false;
  }
  atOpen_ = held_;
  open_ = true;
  anySettingSent_ = false;
  return true;
}

void EvdevKeyboardLine::Close() {
  if (!open_) return;
  if (anySettingSent_) {
    // Spaced like a setting, so that the driver does not merge it into the
    // download's last one.
    WaitForSpacing();
    control_->SetRepeat(atOpen_);
  }
  control_->Close();
  open_ = false;
}

bool EvdevKeyboardLine::Fail(std::string reason) {
  failure_ = node_ + ": " + std::move(reason);
  return false;
}

bool EvdevKeyboardLine::SetTypematic(std::uint8_t rate, std::uint8_t delay) {
  if (!open_ || rate > 31 || delay > 3) return false;
  WaitForSpacing();
  const RepeatSetting request = RepeatRequestFor(rate, delay, held_);
  lastRequest_ = control_->Now();
  anySettingSent_ = true;
  if (const int result = control_->SetRepeat(request); result != 0) return Fail(std::strerror(result));
  return WaitUntilHeld(request, HeldSettingFor(rate, delay));
}

void EvdevKeyboardLine::WaitForSpacing() {
  if (!anySettingSent_) return;
  const auto due = lastRequest_ + kMinimumSpacing;
  for (auto now = control_->Now(); now < due; now = control_->Now()) {
    control_->SleepFor(std::chrono::ceil<std::chrono::milliseconds>(due - now));
  }
}

// The node shows the rounded table values only after the driver has taken
// the request and started the typematic command; until then it shows the
// requested values. Waiting for them keeps two settings from merging.
bool EvdevKeyboardLine::WaitUntilHeld(const RepeatSetting& request, const RepeatSetting& wanted) {
  const auto deadline = lastRequest_ + kConfirmTimeout;
  for (;;) {
    RepeatSetting now;
    if (const int result = control_->GetRepeat(&now); result != 0) return Fail(std::strerror(result));
    held_ = now;
    if (now == wanted) return true;
    if (control_->Now() >= deadline) break;
    control_->SleepFor(kConfirmPollInterval);
  }
  char reason[240];
  if (held_ == request) {
    // Nothing rounded the values: no keyboard driver took the setting.
    std::snprintf(reason, sizeof reason,
                  "the repeat setting %u/%u ms was not rounded to the keyboard's %u/%u ms, so it "
                  "did not reach a keyboard; the PC/AT link needs a PS/2 keyboard without softrepeat",
                  request.delayMs, request.periodMs, wanted.delayMs, wanted.periodMs);
  } else {
    std::snprintf(reason, sizeof reason,
                  "the keyboard did not confirm the repeat setting %u/%u ms within %lld ms",
                  wanted.delayMs, wanted.periodMs, static_cast<long long>(kConfirmTimeout.count()));
  }
  return Fail(reason);
}

}  // namespace lumivane
