#include "link/ChannelError.h"

#include <cerrno>
#include <utility>

#include "common/SystemErrorText.h"

namespace lumivane {

namespace {

const char* KindText(ChannelErrorKind kind) {
  switch (kind) {
    case ChannelErrorKind::None: return "no error";
    case ChannelErrorKind::NotOpen: return "not open";
    case ChannelErrorKind::AlreadyOpen: return "already open";
    case ChannelErrorKind::Timeout: return "timed out";
    case ChannelErrorKind::Cancelled: return "cancelled";
    case ChannelErrorKind::InvalidArgument: return "invalid argument";
    case ChannelErrorKind::NotFound: return "not found";
    case ChannelErrorKind::NoDevice: return "no such device";
    case ChannelErrorKind::AccessDenied: return "access denied";
    case ChannelErrorKind::Busy: return "in use by another program";
    case ChannelErrorKind::WrongDevice: return "not a device of the right kind";
    case ChannelErrorKind::Unsupported: return "not supported by the device";
    case ChannelErrorKind::HungUp: return "the line was hung up";
    case ChannelErrorKind::System: return "system error";
  }
  return "unknown error";
}

}  // namespace

// What the caller can act on (missing, refused, busy, not the right kind of
// device, hung up) gets a kind of its own; the errno stays with it either way.
ChannelErrorKind KindOfErrno(int systemError) {
  switch (systemError) {
    case 0: return ChannelErrorKind::None;
    case ENOENT: return ChannelErrorKind::NotFound;
    case ENXIO:   // a socket, a device node without its device
    case ENODEV:  // unplugged
      return ChannelErrorKind::NoDevice;
    case EACCES:
    case EPERM: return ChannelErrorKind::AccessDenied;
    case EBUSY: return ChannelErrorKind::Busy;
    case ENOTTY:  // a file, or a device that does not take the channel's requests
    case EISDIR: return ChannelErrorKind::WrongDevice;
    case ENOSYS:  // the device lacks what was asked of it (an evdev node without key repeat)
    case EOPNOTSUPP: return ChannelErrorKind::Unsupported;
    case EIO: return ChannelErrorKind::HungUp;
    case EINVAL: return ChannelErrorKind::InvalidArgument;
    case ECANCELED: return ChannelErrorKind::Cancelled;
    case ETIMEDOUT: return ChannelErrorKind::Timeout;
    default: return ChannelErrorKind::System;
  }
}

ChannelError ErrorFromErrno(int systemError) { return ChannelError(KindOfErrno(systemError), systemError); }

ChannelError::ChannelError(ChannelErrorKind kind, int systemError, std::string detail)
    : kind_(kind), systemError_(systemError), detail_(std::move(detail)) {}

std::string ChannelError::Reason() const {
  if (!detail_.empty()) return detail_;
  if (systemError_ != 0) return SystemErrorText(systemError_);
  return KindText(kind_);
}

const char* ChannelErrorKindName(ChannelErrorKind kind) {
  switch (kind) {
    case ChannelErrorKind::None: return "None";
    case ChannelErrorKind::NotOpen: return "NotOpen";
    case ChannelErrorKind::AlreadyOpen: return "AlreadyOpen";
    case ChannelErrorKind::Timeout: return "Timeout";
    case ChannelErrorKind::Cancelled: return "Cancelled";
    case ChannelErrorKind::InvalidArgument: return "InvalidArgument";
    case ChannelErrorKind::NotFound: return "NotFound";
    case ChannelErrorKind::NoDevice: return "NoDevice";
    case ChannelErrorKind::AccessDenied: return "AccessDenied";
    case ChannelErrorKind::Busy: return "Busy";
    case ChannelErrorKind::WrongDevice: return "WrongDevice";
    case ChannelErrorKind::Unsupported: return "Unsupported";
    case ChannelErrorKind::HungUp: return "HungUp";
    case ChannelErrorKind::System: return "System";
  }
  return "?";
}

}  // namespace lumivane
