#include "link/ChannelError.h"

#include <cstring>
#include <utility>

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

ChannelError::ChannelError(ChannelErrorKind kind, int systemError, std::string detail)
    : kind_(kind), systemError_(systemError), detail_(std::move(detail)) {}

std::string ChannelError::Reason() const {
  if (!detail_.empty()) return detail_;
  if (systemError_ != 0) return SystemErrorText(systemError_);
  return KindText(kind_);
}

std::string SystemErrorText(int systemError) {
  char buffer[256];
  // The GNU strerror_r: thread-safe, returns the text (maybe not in buffer).
  return ::strerror_r(systemError, buffer, sizeof buffer);
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
