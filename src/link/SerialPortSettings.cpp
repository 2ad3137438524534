// SerialPort: line settings, flow control, read mode and event mask.
// Line settings are read-modify-write on the port's termios record; a
// failure leaves the port's settings as they were.
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <iterator>

#include "link/SerialPort.h"

namespace lumivane {

namespace {

struct BaudEntry {
  std::uint32_t rate;
  speed_t speed;
};

constexpr BaudEntry kBaudRates[] = {
    {0, B0},           {50, B50},           {75, B75},           {110, B110},
    {134, B134},       {150, B150},         {200, B200},         {300, B300},
    {600, B600},       {1200, B1200},       {1800, B1800},       {2400, B2400},
    {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},
    {500000, B500000}, {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> SpeedForRate(std::uint32_t rate) {
  for (const BaudEntry& entry : kBaudRates) {
    if (entry.rate == rate) return entry.speed;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> RateForSpeed(speed_t speed) {
  for (const BaudEntry& entry : kBaudRates) {
    if (entry.speed == speed) return entry.rate;
  }
  return std::nullopt;
}

constexpr tcflag_t kSizeFlags[] = {CS5, CS6, CS7, CS8};

}  // namespace

ChannelError SerialPort::Setup(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                                std::uint8_t stopBits) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  termios settings{};
  if (::tcgetattr(portHandle_, &settings) != 0) return FailErrno();

  const std::optional<speed_t> speed = SpeedForRate(baudRate);
  // Linux cannot send one and a half stop bits (code 1).
  if (!speed || baudRate == 0 || dataBits < 5 || dataBits > 8 || parity > 4 ||
      (stopBits != 0 && stopBits != 2)) {
    return Fail(ChannelErrorKind::InvalidArgument);
  }
  ::cfsetispeed(&settings, *speed);
  ::cfsetospeed(&settings, *speed);
  settings.c_cflag = (settings.c_cflag & ~CSIZE) | kSizeFlags[dataBits - 5];
  settings.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  switch (parity) {
    case 1: settings.c_cflag |= PARENB | PARODD; break;           // odd
    case 2: settings.c_cflag |= PARENB; break;                    // even
    case 3: settings.c_cflag |= PARENB | PARODD | CMSPAR; break;  // mark
    case 4: settings.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;                                               // none
  }
  // Parity checking is on exactly when there is a parity bit.
  if (parity != 0) {
    settings.c_iflag |= INPCK;
  } else {
    settings.c_iflag &= ~INPCK;
  }
  if (stopBits == 2) {
    settings.c_cflag |= CSTOPB;
  } else {
    settings.c_cflag &= ~CSTOPB;
  }
  if (::tcsetattr(portHandle_, TCSANOW, &settings) != 0) return FailErrno();
  return ChannelError();
}

// Common start of the getters: the port must be open and its settings readable.
std::optional<termios> SerialPort::LoadLineSettings() {
  Succeed();
  if (!RequireOpen()) return std::nullopt;
  termios settings{};
  if (::tcgetattr(portHandle_, &settings) != 0) {
    FailErrno();
    return std::nullopt;
  }
  return settings;
}

std::int32_t SerialPort::GetBaudRate() {
  const std::optional<termios> settings = LoadLineSettings();
  if (!settings) return -1;
  const std::optional<std::uint32_t> rate = RateForSpeed(::cfgetospeed(&*settings));
  if (!rate) {
    Fail(ChannelErrorKind::InvalidArgument);
    return -1;
  }
  return static_cast<std::int32_t>(*rate);
}

std::int32_t SerialPort::GetDataBits() {
  const std::optional<termios> loaded = LoadLineSettings();
  if (!loaded) return -1;
  const termios& settings = *loaded;
  const tcflag_t size = settings.c_cflag & CSIZE;
  for (int i = 0; i < 4; ++i) {
    if (kSizeFlags[i] == size) return 5 + i;
  }
  return 8;
}

std::int32_t SerialPort::GetParity() {
  const std::optional<termios> loaded = LoadLineSettings();
  if (!loaded) return -1;
  const termios& settings = *loaded;
  // Parity checking (INPCK) tells whether parity is in use. The kind comes
  // from PARODD and CMSPAR alone: a pseudo-terminal clears PARENB on every
  // change but keeps the other bits.
  if ((settings.c_iflag & INPCK) == 0) return 0;
  const bool odd = (settings.c_cflag & PARODD) != 0;
  if (settings.c_cflag & CMSPAR) return odd ? 3 : 4;
  return odd ? 1 : 2;
}

std::int32_t SerialPort::GetStopBits() {
  const std::optional<termios> loaded = LoadLineSettings();
  if (!loaded) return -1;
  const termios& settings = *loaded;
  return (settings.c_cflag & CSTOPB) ? 2 : 0;
}

ChannelError SerialPort::SetupHandshaking(int mode) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  if (mode < HandshakeOff || mode > HandshakeSoftware) return Fail(ChannelErrorKind::InvalidArgument);
  termios settings{};
  if (::tcgetattr(portHandle_, &settings) != 0) return FailErrno();
  settings.c_cflag &= ~CRTSCTS;
  settings.c_iflag &= ~(IXON | IXOFF);
  if (mode == HandshakeHardware) settings.c_cflag |= CRTSCTS;
  if (mode == HandshakeSoftware) settings.c_iflag |= IXON | IXOFF;
  if (::tcsetattr(portHandle_, TCSANOW, &settings) != 0) return FailErrno();

  // DTR and RTS: raised for hardware flow control (the driver then drives
  // RTS), held inactive otherwise. A pseudo-terminal has no modem lines
  // and answers ENOTTY; the flow-control setting above still holds there,
  // so that answer is not a failure of the operation.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (::ioctl(portHandle_, mode == HandshakeHardware ? TIOCMBIS : TIOCMBIC, &lines) != 0 &&
      errno != ENOTTY) {
    return FailErrno();
  }
  return ChannelError();
}

std::int32_t SerialPort::GetHandshaking() {
  const std::optional<termios> loaded = LoadLineSettings();
  if (!loaded) return -1;
  const termios& settings = *loaded;
  if (settings.c_cflag & CRTSCTS) return HandshakeHardware;
  if ((settings.c_iflag & IXON) && (settings.c_iflag & IXOFF)) return HandshakeSoftware;
  return HandshakeOff;
}

ChannelError SerialPort::SetupReadTimeouts(int mode) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  // The read mode lives in the object (reads wait with poll); reading the
  // settings still tells whether the port is alive.
  termios settings{};
  if (::tcgetattr(portHandle_, &settings) != 0) return FailErrno();
  if (mode != ReadNonBlocking && mode != ReadBlocking) return Fail(ChannelErrorKind::InvalidArgument);
  readMode_ = mode;
  return ChannelError();
}

ChannelError SerialPort::SetMask(std::uint32_t eventBits) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  eventMask_ = eventBits;
  eventBaseline_ = ReadLineCounts().value_or(LineCounts{});
  // A new mask ends a pending event wait with no event.
  for (std::size_t i = pending_.size(); i-- > 0;) {
    CompletionRecord* record = pending_[i];
    if (record->operation_ == CompletionRecord::Operation::WaitEvent) {
      lastEvent_ = 0;
      record->Complete(ChannelError());
    }
  }
  return ChannelError();
}

std::uint32_t SerialPort::GetEventMask() {
  Succeed();
  if (!RequireOpen()) return 0;
  return eventMask_;
}

ChannelError SerialPort::SetEventChar(std::uint8_t eventChar, bool addToMask) {
  Succeed();
  if (!RequireOpen()) return lastError_;
  termios settings{};
  if (::tcgetattr(portHandle_, &settings) != 0) return FailErrno();
  if (addToMask) SetMask(GetEventMask() | EV_RXFLAG);
  eventChar_ = eventChar;
  return lastError_;
}

std::uint8_t SerialPort::GetEventChar() {
  Succeed();
  if (!RequireOpen()) return 0;
  return eventChar_;
}

}  // namespace lumivane
