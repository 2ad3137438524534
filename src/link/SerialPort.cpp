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
// Returns 0 or the errno of the failing step.
int OpenDevice(const std::string& name, int* fdOut) {
  int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  int code = 0;
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {
    code = errno;  // ENOTTY: not a serial device
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    code = (errno == EWOULDBLOCK) ? EBUSY : errno;
  }
  if (code != 0) {
    ::close(fd);
    return code;
  }
  *fdOut = fd;
  return 0;
}

void CloseDevice(int fd) {
  // A serial driver's close waits until the output has drained (up to 30 s
  // by default); bytes the other end no longer takes are dropped instead.
  ::tcflush(fd, TCOFLUSH);
  // An exclusive mode left on the terminal by an earlier holder that was
  // killed is lifted, so the next opener is not refused.
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

// Raw bytes in both directions: no line editing, no translation, no echo;
// the receiver on, modem control lines not required.
int MakeRaw(int fd) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return errno;
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) return errno;
  return 0;
}

}  // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { Close(); }

std::uint32_t SerialPort::FailErrno() { return Fail(static_cast<std::uint32_t>(errno)); }

bool SerialPort::RequireOpen() {
  if (IsOpen()) return true;
  lastError = kInvalidHandle;
  return false;
}

std::uint32_t SerialPort::Open(const std::string& name, std::uint32_t inputQueueSize,
                               std::uint32_t outputQueueSize) {
  lastError = 0;
  if (IsOpen()) return Fail(kAlreadyInitialized);

  int fd = -1;
  if (int code = OpenDevice(name, &fd); code != 0) return Fail(static_cast<std::uint32_t>(code));
  if (int code = MakeRaw(fd); code != 0) {
    CloseDevice(fd);
    return Fail(static_cast<std::uint32_t>(code));
  }
  const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event < 0) {
    const std::uint32_t code = static_cast<std::uint32_t>(errno);
    CloseDevice(fd);
    return Fail(code);
  }
  portHandle = fd;
  ioEvent = event;
  // Linux keeps no per-port queue size; the values are only remembered.
  inputQueueSize_ = inputQueueSize;
  outputQueueSize_ = outputQueueSize;
  heldInput_.clear();
  eventBaseline_ = errorBaseline_ = LineCounts{};
  ReadLineCounts(&errorBaseline_);

  // Defaults; each resets lastError, and the last one's code is the result.
  SetMask(EV_RXCHAR | EV_BREAK | EV_ERR);
  Setup(9600, 8, 0, 0);
  SetupReadTimeouts(ReadNonBlocking);
  return SetupHandshaking(HandshakeOff);
}

std::uint32_t SerialPort::Close() {
  lastError = 0;
  if (!IsOpen()) return 0;
  // Operations still pending on callers' records end now, before the
  // descriptor they refer to goes away.
  while (!pending_.empty()) pending_.back()->Complete(ECANCELED);
  CloseDevice(portHandle);
  ::close(ioEvent);
  portHandle = -1;
  ioEvent = -1;
  heldInput_.clear();
  return 0;
}

int SerialPort::CheckPort(const std::string& name) {
  int fd = -1;
  const int code = OpenDevice(name, &fd);
  if (code == 0) {
    CloseDevice(fd);
    return 0;
  }
  if (code == ENOENT) return 1;
  if (code == EACCES || code == EPERM) return 2;
  return -1;
}

std::uint32_t SerialPort::Purge() {
  lastError = 0;
  if (!RequireOpen()) return lastError;
  heldInput_.clear();
  if (::tcflush(portHandle, TCIOFLUSH) != 0) return FailErrno();
  return 0;
}

std::uint32_t SerialPort::TakeLastEvent() {
  const std::uint32_t event = lastEvent;
  lastEvent = 0xFFFFFFFFu;
  return event;
}

bool SerialPort::ReadLineCounts(LineCounts* counts) {
  serial_icounter_struct icount{};
  if (::ioctl(portHandle, TIOCGICOUNT, &icount) != 0) return false;
  counts->breaks = icount.brk;
  counts->frames = icount.frame;
  counts->overruns = icount.overrun;
  counts->parities = icount.parity;
  counts->bufferOverruns = icount.buf_overrun;
  return true;
}

std::uint32_t SerialPort::ClearLineErrors() {
  lastError = 0;
  if (!RequireOpen()) return 0;
  // The driver counts line errors instead of holding error bits: the bits
  // are the counters that moved since the last call.
  LineCounts now;
  if (!ReadLineCounts(&now)) {
    FailErrno();  // ENOTTY on a pseudo-terminal, which has no line
    return 0;
  }
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

bool ModemLine(int fd, int bit, std::uint32_t* error) {
  int lines = 0;
  if (::ioctl(fd, TIOCMGET, &lines) != 0) {
    *error = static_cast<std::uint32_t>(errno);
    return false;
  }
  return (lines & bit) != 0;
}

}  // namespace

bool SerialPort::GetCTS() {
  lastError = 0;
  return RequireOpen() && ModemLine(portHandle, TIOCM_CTS, &lastError);
}

bool SerialPort::GetDSR() {
  lastError = 0;
  return RequireOpen() && ModemLine(portHandle, TIOCM_DSR, &lastError);
}

bool SerialPort::GetRing() {
  lastError = 0;
  return RequireOpen() && ModemLine(portHandle, TIOCM_RI, &lastError);
}

bool SerialPort::GetRLSD() {
  lastError = 0;
  return RequireOpen() && ModemLine(portHandle, TIOCM_CD, &lastError);
}

}  // namespace lumivane
