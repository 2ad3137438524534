#include "link/EvdevKeyboardLine.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
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
  // The evdev core answers a request it does not take with ENOTTY, and the
  // repeat requests never with EINVAL: EINVAL comes from the driver of some
  // other device behind the node, which is then no keyboard's event node.
  if (systemError == EINVAL) return ChannelError(ChannelErrorKind::WrongDevice, systemError);
  return lumivane::ErrorFromErrno(systemError);
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
  // So is a keyboard whose driver never sends typematic settings to it:
  // sysfs may say so, else its identity or a setting that is not rounded.
  std::string refusal = RefusalFromSysfs();
  ChannelError checked = refusal.empty() ? CheckTypematicNode(*control_, clock_, held_)
                                         : ChannelError(ChannelErrorKind::Unsupported, 0, std::move(refusal));
  // The check's setting, if it sent one, is spaced from the next.
  lastRequest_ = clock_.Now();
  if (checked.ok() && (result = control_->GetRepeat(&held_)) != 0) checked = ErrorFromErrno(result);
  if (checked.failed()) {
    control_->Close();
    return checked;
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

void EvdevKeyboardLine::WaitForSpacing() { clock_.SleepUntil(lastRequest_ + kMinimumSpacing); }

// The node shows the rounded table values only after the driver has taken
// the request and started the typematic command; until then it shows the
// requested values. Waiting for them keeps two settings from merging.
ChannelError EvdevKeyboardLine::WaitUntilHeld(const RepeatSetting& request,
                                              const RepeatSetting& wanted) {
  RepeatSetting now = held_;
  const ChannelError error = AwaitHeldSetting(*control_, clock_, request, wanted, lastRequest_, &now);
  held_ = now;
  return error;
}

}  // namespace lumivane
