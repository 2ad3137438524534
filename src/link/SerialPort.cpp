// SerialPort: opening and closing, purge, modem lines and line errors.
// Line settings are in SerialPortSettings.cpp, transfers in SerialPortTransfer.cpp.
#include "link/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace lumivane {

namespace {

// Windows-style line-error bits returned by ClearLineErrors.
constexpr std::uint32_t kLineErrorBufferOverrun = 0x0001;
constexpr std::uint32_t kLineErrorOverrun = 0x0002;
constexpr std::uint32_t kLineErrorParity = 0x0004;
constexpr std::uint32_t kLineErrorFrame = 0x0008;
constexpr std::uint32_t kLineErrorBreak = 0x0010;

// Opens a serial device for exclusive use without changing its settings.
// The port is not shared: an advisory lock keeps out every other user of
// this class (also in other processes) and tools that lock the same way.
// The lock goes with the descriptor, so a holder that is killed frees the
// port. The terminal's own exclusive mode (TIOCEXCL) is not used: it stays
// on the terminal when its holder dies without closing, for as long as
// anyone else keeps the terminal open (the other side of a pseudo-
// terminal), and then locks out every later opener that is not privileged.
struct DeviceOpening {
  int fd = -1;
  ChannelError error;  // why there is no descriptor: the failing step's errno
};

DeviceOpening OpenDevice(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {-1, ErrorFromErrno(errno)};
  int code = 0;
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {
    code = errno;  // ENOTTY: not a serial device
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    code = (errno == EWOULDBLOCK) ? EBUSY : errno;
  }
  if (code == 0) return {fd, {}};
  ::close(fd);
  return {-1, ErrorFromErrno(code)};
}

void CloseDevice(int fd) {
  // A serial driver's close waits until the output has drained (up to 30 s
  // by default); bytes still queued, which the other end no longer takes,
  // are dropped instead. With nothing queued there is nothing to drop, and
  // a pseudo-terminal, which always reports an empty queue, would lose to
  // the flush what the other side has not read yet: a download's end command.
  int queued = 0;
  if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued > 0) ::tcflush(fd, TCOFLUSH);
  // An exclusive mode left on the terminal by an earlier holder that was
  // killed is lifted, so the next opener is not refused.
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

// Raw bytes in both directions: no line editing, no translation, no echo;
// the receiver on, modem control lines not required.
ChannelError MakeRaw(int fd) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return ErrorFromErrno(errno);
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) return ErrorFromErrno(errno);
  return {};
}

}  // namespace

SerialPort::SerialPort() : clock_(steadyClock_) {}

SerialPort::SerialPort(Clock& clock) : clock_(clock) {}

SerialPort::~SerialPort() { Close(); }

ChannelError SerialPort::FailErrno() { return Fail(ErrorFromErrno(errno)); }

bool SerialPort::RequireOpen() {
  if (IsOpen()) return true;
  Fail(ChannelErrorKind::NotOpen);
  return false;
}

ChannelError SerialPort::Open(const std::string& name, std::uint32_t inputQueueSize,
                              std::uint32_t outputQueueSize) {
  Succeed();
  if (IsOpen()) return Fail(ChannelErrorKind::AlreadyOpen);

  const DeviceOpening opening = OpenDevice(name);
  if (opening.error.failed()) return Fail(opening.error);
  const int fd = opening.fd;
  if (ChannelError error = MakeRaw(fd); error.failed()) {
    CloseDevice(fd);
    return Fail(std::move(error));
  }
  const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event < 0) {
    const int code = errno;
    CloseDevice(fd);
    return Fail(ErrorFromErrno(code));
  }
  portHandle_ = fd;
  ioEvent_ = event;
  // Linux keeps no per-port queue size; the values are only remembered.
  inputQueueSize_ = inputQueueSize;
  outputQueueSize_ = outputQueueSize;
  heldInput_.clear();
  eventBaseline_ = LineCounts{};
  errorBaseline_ = ReadLineCounts().value_or(LineCounts{});

  // Defaults; each sets LastError(), and the last one's outcome is the result.
  SetMask(EV_RXCHAR | EV_BREAK | EV_ERR);
  Setup(9600, 8, 0, 0);
  SetupReadTimeouts(ReadNonBlocking);
  return SetupHandshaking(HandshakeOff);
}

ChannelError SerialPort::Close() {
  Succeed();
  if (!IsOpen()) return ChannelError();
  // Operations still pending on callers' records end now, before the
  // descriptor they refer to goes away.
  while (!pending_.empty()) pending_.back()->Complete(ErrorFromErrno(ECANCELED));
  CloseDevice(portHandle_);
  ::close(ioEvent_);
  portHandle_ = -1;
  ioEvent_ = -1;
  heldInput_.clear();
  return ChannelError();
}

ChannelError SerialPort::CheckPort(const std::string& name) {
  const DeviceOpening opening = OpenDevice(name);
  if (opening.error.ok()) CloseDevice(opening.fd);
  return opening.error;
}

ChannelError SerialPort::Purge() {
  Succeed();
  if (!RequireOpen()) return lastError_;
  heldInput_.clear();
  if (::tcflush(portHandle_, TCIOFLUSH) != 0) return FailErrno();
  return ChannelError();
}

std::uint32_t SerialPort::TakeLastEvent() {
  const std::uint32_t event = lastEvent_;
  lastEvent_ = 0xFFFFFFFFu;
  return event;
}

std::optional<SerialPort::LineCounts> SerialPort::ReadLineCounts() const {
  serial_icounter_struct icount{};
  if (::ioctl(portHandle_, TIOCGICOUNT, &icount) != 0) return std::nullopt;
  return LineCounts{icount.brk, icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
}

std::uint32_t SerialPort::ClearLineErrors() {
  Succeed();
  if (!RequireOpen()) return 0;
  // The driver counts line errors instead of holding error bits: the bits
  // are the counters that moved since the last call.
  const std::optional<LineCounts> counted = ReadLineCounts();
  if (!counted) {
    FailErrno();  // ENOTTY on a pseudo-terminal, which has no line
    return 0;
  }
  const LineCounts& now = *counted;
  std::uint32_t bits = 0;
  if (now.bufferOverruns != errorBaseline_.bufferOverruns) bits |= kLineErrorBufferOverrun;
  if (now.overruns != errorBaseline_.overruns) bits |= kLineErrorOverrun;
  if (now.parities != errorBaseline_.parities) bits |= kLineErrorParity;
  if (now.frames != errorBaseline_.frames) bits |= kLineErrorFrame;
  if (now.breaks != errorBaseline_.breaks) bits |= kLineErrorBreak;
  errorBaseline_ = now;
  return bits;
}

namespace {

// The modem lines' bits, or -1 with errno set.
int ModemLines(int fd) {
  int lines = 0;
  return ::ioctl(fd, TIOCMGET, &lines) == 0 ? lines : -1;
}

}  // namespace

bool SerialPort::GetCTS() {
  Succeed();
  if (!RequireOpen()) return false;
  const int lines = ModemLines(portHandle_);
  if (lines < 0) FailErrno();
  return lines > 0 && (lines & TIOCM_CTS) != 0;
}

bool SerialPort::GetDSR() {
  Succeed();
  if (!RequireOpen()) return false;
  const int lines = ModemLines(portHandle_);
  if (lines < 0) FailErrno();
  return lines > 0 && (lines & TIOCM_DSR) != 0;
}

bool SerialPort::GetRing() {
  Succeed();
  if (!RequireOpen()) return false;
  const int lines = ModemLines(portHandle_);
  if (lines < 0) FailErrno();
  return lines > 0 && (lines & TIOCM_RI) != 0;
}

bool SerialPort::GetRLSD() {
  Succeed();
  if (!RequireOpen()) return false;
  const int lines = ModemLines(portHandle_);
  if (lines < 0) FailErrno();
  return lines > 0 && (lines & TIOCM_CD) != 0;
}

}  // namespace lumivane
