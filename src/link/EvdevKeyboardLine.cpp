#include "link/EvdevKeyboardLine.h"

#include <cstring>
#include <utility>

namespace lumivane {

EvdevKeyboardLine::EvdevKeyboardLine(std::string node)
    : EvdevKeyboardLine(std::move(node), MakeEvdevRepeatControl()) {}

EvdevKeyboardLine::EvdevKeyboardLine(std::string node, std::unique_ptr<RepeatControl> control)
    : node_(std::move(node)), control_(std::move(control)) {}

EvdevKeyboardLine::~EvdevKeyboardLine() { Close(); }

bool EvdevKeyboardLine::Open(std::string* error) {
  Close();
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
  open_ = true;
  anySettingSent_ = false;
  return true;
}

void EvdevKeyboardLine::Close() {
  if (open_) control_->Close();
  open_ = false;
}

bool EvdevKeyboardLine::SetTypematic(std::uint8_t rate, std::uint8_t delay) {
  if (!open_ || rate > 31 || delay > 3) return false;
  WaitForSpacing();
  const RepeatSetting request = RepeatRequestFor(rate, delay, held_);
  lastRequest_ = control_->Now();
  anySettingSent_ = true;
  if (control_->SetRepeat(request) != 0) return false;
  return WaitUntilHeld(HeldSettingFor(rate, delay));
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
bool EvdevKeyboardLine::WaitUntilHeld(const RepeatSetting& wanted) {
  const auto deadline = lastRequest_ + kConfirmTimeout;
  for (;;) {
    RepeatSetting now;
    if (control_->GetRepeat(&now) != 0) return false;
    held_ = now;
    if (now == wanted) return true;
    if (control_->Now() >= deadline) return false;
    control_->SleepFor(kConfirmPollInterval);
  }
}

}  // namespace lumivane
