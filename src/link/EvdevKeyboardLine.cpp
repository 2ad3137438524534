#include "link/EvdevKeyboardLine.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "link/KeyboardNodeCheck.h"

namespace lumivane {

EvdevKeyboardLine::EvdevKeyboardLine(std::string node, Clock& clock)
    : EvdevKeyboardLine(std::move(node), MakeEvdevRepeatControl(), clock) {}

EvdevKeyboardLine::EvdevKeyboardLine(std::string node, std::unique_ptr<RepeatControl> control,
                                     Clock& clock, std::string sysfsRoot)
    : node_(std::move(node)),
      control_(std::move(control)),
      clock_(clock),
      sysfsRoot_(std::move(sysfsRoot)) {}

EvdevKeyboardLine::~EvdevKeyboardLine() { Close(); }

ChannelError EvdevKeyboardLine::ErrorFromErrno(int systemError) {
  switch (systemError) {
    case 0: return ChannelError();
    case ENOENT: return ChannelError(ChannelErrorKind::NotFound, systemError);
    case ENXIO:
    case ENODEV: return ChannelError(ChannelErrorKind::NoDevice, systemError);  // unplugged
    case EACCES:
    case EPERM: return ChannelError(ChannelErrorKind::AccessDenied, systemError);
    case EBUSY: return ChannelError(ChannelErrorKind::Busy, systemError);
    case ENOTTY:  // no evdev node
    case EISDIR: return ChannelError(ChannelErrorKind::WrongDevice, systemError);
    case ENOSYS:  // an evdev node without hardware key repeat
    case EOPNOTSUPP: return ChannelError(ChannelErrorKind::Unsupported, systemError);
    case EIO: return ChannelError(ChannelErrorKind::HungUp, systemError);
    case EINVAL: return ChannelError(ChannelErrorKind::InvalidArgument, systemError);
    default: return ChannelError(ChannelErrorKind::System, systemError);
  }
}

std::string EvdevKeyboardLine::RefusalFromSysfs() const {
  struct stat status {};
  if (::stat(node_.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return {};
  return TypematicRefusalFromSysfs(major(status.st_rdev), minor(status.st_rdev), sysfsRoot_);
}

ChannelError EvdevKeyboardLine::Open() {
  Close();
  int result = control_->Open(node_);
  // A node without hardware repeat answers EVIOCGREP with an error, so it is
  // refused here rather than at the first byte.
  if (result == 0) {
    result = control_->GetRepeat(&held_);
    if (result != 0) control_->Close();
  }
  if (result != 0) return ErrorFromErrno(result);
  // So is a keyboard whose driver never sends typematic settings to it.
  std::string refusal = RefusalFromSysfs();
  if (!refusal.empty()) {
    control_->Close();
    return ChannelError(ChannelErrorKind::Unsupported, 0, std::move(refusal));
  }
  atOpen_ = held_;
  open_ = true;
  anySettingSent_ = false;
  return ChannelError();
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

ChannelError EvdevKeyboardLine::SetTypematic(std::uint8_t rate, std::uint8_t delay) {
  if (!open_) return ChannelError(ChannelErrorKind::NotOpen);
  if (rate > 31 || delay > 3) return ChannelError(ChannelErrorKind::InvalidArgument);
  WaitForSpacing();
  const RepeatSetting request = RepeatRequestFor(rate, delay, held_);
  lastRequest_ = clock_.Now();
  anySettingSent_ = true;
  if (const int result = control_->SetRepeat(request); result != 0) return ErrorFromErrno(result);
  return WaitUntilHeld(request, HeldSettingFor(rate, delay));
}

void EvdevKeyboardLine::WaitForSpacing() {
  if (anySettingSent_) clock_.SleepUntil(lastRequest_ + kMinimumSpacing);
}

// The node shows the rounded table values only after the driver has taken
// the request and started the typematic command; until then it shows the
// requested values. Waiting for them keeps two settings from merging.
ChannelError EvdevKeyboardLine::WaitUntilHeld(const RepeatSetting& request,
                                              const RepeatSetting& wanted) {
  const Clock::TimePoint deadline = lastRequest_ + kConfirmTimeout;
  for (;;) {
    RepeatSetting now;
    if (const int result = control_->GetRepeat(&now); result != 0) return ErrorFromErrno(result);
    held_ = now;
    if (now == wanted) return ChannelError();
    if (clock_.Now() >= deadline) break;
    clock_.SleepFor(kConfirmPollInterval);
  }
  char reason[240];
  if (held_ == request) {
    // Nothing rounded the values: no keyboard driver took the setting.
    std::snprintf(reason, sizeof reason,
                  "the repeat setting %u/%u ms was not rounded to the keyboard's %u/%u ms, so it "
                  "did not reach a keyboard; the PC/AT link needs a PS/2 keyboard without softrepeat",
                  request.delayMs, request.periodMs, wanted.delayMs, wanted.periodMs);
    return ChannelError(ChannelErrorKind::Unsupported, 0, reason);
  }
  std::snprintf(reason, sizeof reason,
                "the keyboard did not confirm the repeat setting %u/%u ms within %lld ms",
                wanted.delayMs, wanted.periodMs, static_cast<long long>(kConfirmTimeout.count()));
  return ChannelError(ChannelErrorKind::Timeout, 0, reason);
}

}  // namespace lumivane
