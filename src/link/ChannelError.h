#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

// What went wrong on a platform channel (the serial port, the HID node, the
// keyboard node), in one vocabulary for all three. The system's errno
// becomes a kind through one map that every channel shares (ErrorFromErrno);
// a channel whose calls give an errno a meaning of their own says so in an
// exception of its own, before the shared map.
enum class ChannelErrorKind : std::uint8_t {
  None,             // no error
  NotOpen,          // the channel is not open
  AlreadyOpen,      // Open on a channel that is open
  Timeout,          // a wait ran out
  Cancelled,        // a pending operation ended because the channel was closed
  InvalidArgument,  // a value outside what the call accepts
  NotFound,         // no such file (ENOENT)
  NoDevice,         // the path exists but no device answers behind it (ENXIO, ENODEV)
  AccessDenied,     // EACCES, EPERM
  Busy,             // another user holds the device (EBUSY)
  WrongDevice,      // the path is no device of the kind the channel needs (ENOTTY, EISDIR)
  Unsupported,      // the device cannot do what the link needs of it
  HungUp,           // the line was hung up or failed under the transfer (EIO)
  System,           // any other failure the system reported
};

// The outcome of a channel operation: its kind, the system's errno when
// the system reported the failure (0 when the channel itself decided), and
// the channel's own text for a failure that no errno describes.
class ChannelError {
 public:
  ChannelError() = default;  // success
  explicit ChannelError(ChannelErrorKind kind, int systemError = 0, std::string detail = {});

  bool ok() const { return kind_ == ChannelErrorKind::None; }
  bool failed() const { return kind_ != ChannelErrorKind::None; }
  ChannelErrorKind kind() const { return kind_; }
  // The errno the system reported; 0 when there was none.
  int systemError() const { return systemError_; }
  // Why, as a status line puts it after the port or node: the channel's
  // own text when it has one, else the system's text for the errno
  // ("Permission denied"), else a text for the kind ("timed out").
  std::string Reason() const;

  bool operator==(const ChannelError&) const = default;

 private:
  ChannelErrorKind kind_ = ChannelErrorKind::None;
  int systemError_ = 0;
  std::string detail_;
};

// The kind an errno means on every channel (None for 0).
ChannelErrorKind KindOfErrno(int systemError);
// The error for an errno, the errno kept: ChannelError(KindOfErrno(e), e).
ChannelError ErrorFromErrno(int systemError);

// The kind's name ("Timeout"), for test output and logs.
const char* ChannelErrorKindName(ChannelErrorKind kind);


}  // namespace lumivane
