// SerialPort on pseudo-terminals: opening, closing, line settings and modes.
#include "link/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "SerialPortFixture.h"
#include "TestPaths.h"

namespace lumivane {
namespace {

using test::PtyPair;
const ChannelError kTimedOut(ChannelErrorKind::Timeout);

using SerialPortTest = test::SerialPortOnPty;

TEST_F(SerialPortTest, OpenOnAnOpenPortChangesNothingAndThePortStaysUsable) {
  ASSERT_EQ(ChannelError(), port.Setup(19200, 8, 0, 2));
  EXPECT_EQ(ChannelError(ChannelErrorKind::AlreadyOpen), port.Open(pty.devicePath(), 2048, 2048));
  EXPECT_EQ(ChannelError(ChannelErrorKind::AlreadyOpen), port.LastError());
  EXPECT_TRUE(port.IsOpen());
  // The second Open did not reapply the defaults.
  EXPECT_EQ(19200, port.GetBaudRate());
  EXPECT_EQ(2, port.GetStopBits());
  std::uint32_t written = 0;
  EXPECT_EQ(ChannelError(), port.Write("\xB0", &written, nullptr, SerialPort::kInfinite));
  EXPECT_EQ(1u, written);
  EXPECT_EQ(std::vector<std::uint8_t>{0xB0}, pty.Receive(1));
}

TEST_F(SerialPortTest, OpenAppliesTheDefaultsEvenAfterEarlierSettings) {
  ASSERT_EQ(ChannelError(), port.Setup(115200, 8, 2, 2));
  ASSERT_EQ(ChannelError(), port.SetupHandshaking(SerialPort::HandshakeSoftware));
  ASSERT_EQ(ChannelError(), port.SetMask(SerialPort::EV_RXFLAG));
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  ASSERT_EQ(ChannelError(), port.Close());
  ASSERT_EQ(ChannelError(), port.Open(pty.devicePath(), 2048, 2048));

  EXPECT_EQ(9600, port.GetBaudRate());
  EXPECT_EQ(8, port.GetDataBits());
  EXPECT_EQ(0, port.GetParity());
  EXPECT_EQ(0, port.GetStopBits());
  EXPECT_EQ(SerialPort::HandshakeOff, port.GetHandshaking());
  EXPECT_EQ(0xC1u, port.GetEventMask());
  // Non-blocking reads: no data, no wait, even without a time limit.
  std::uint8_t byte = 0;
  std::uint32_t count = 99;
  EXPECT_EQ(ChannelError(), port.Read(&byte, 1, &count, nullptr, SerialPort::kInfinite));
  EXPECT_EQ(0u, count);
}

TEST(SerialPortOpen, FailuresLeaveTheObjectClosed) {
  SerialPort port;
  EXPECT_EQ(ChannelError(ChannelErrorKind::NotFound, ENOENT), port.Open("/dev/lumivane-no-such-port", 2048, 2048));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(ChannelError(), port.Close());
  EXPECT_EQ(ChannelError(), port.LastError());
  // A device that is not a serial line.
  EXPECT_EQ(ChannelError(ChannelErrorKind::WrongDevice, ENOTTY), port.Open("/dev/null", 2048, 2048));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(ChannelError(ChannelErrorKind::NotFound, ENOENT), SerialPort::CheckPort("/dev/lumivane-no-such-port"));
  EXPECT_EQ(ChannelError(ChannelErrorKind::WrongDevice, ENOTTY), SerialPort::CheckPort("/dev/null"));
}

// Opening the port with `name` as a user without privileges: the outcome.
ChannelError OpenWithoutPrivileges(const std::string& name) {
  int result[2];
  if (::pipe(result) != 0) return ChannelError(ChannelErrorKind::System, errno);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
    SerialPort port;
    const ChannelError error = port.Open(name, 2048, 2048);
    const int values[2] = {static_cast<int>(error.kind()), error.systemError()};
    ::_exit(::write(result[1], values, sizeof values) == sizeof values ? 0 : 1);
  }
  int values[2] = {-1, -1};
  const bool got = child > 0 && ::read(result[0], values, sizeof values) == sizeof values;
  if (child > 0) ::waitpid(child, nullptr, 0);
  ::close(result[0]);
  ::close(result[1]);
  if (!got) return ChannelError(ChannelErrorKind::System, -1, "the child did not answer");
  return ChannelError(static_cast<ChannelErrorKind>(values[0]), values[1]);
}

TEST(SerialPortOpen, EachPathThatIsNoFreeSerialPortFailsWithItsKindAndErrno) {
  const test::TempDir tempDir;
  const std::string& dir = tempDir.path();
  ASSERT_TRUE(test::WriteFile(dir + "file", "x"));
  ASSERT_EQ(0, ::mkdir((dir + "directory").c_str(), 0700));
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%ssocket", dir.c_str());
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address));
  PtyPair held, refused;
  ASSERT_TRUE(held.ok() && refused.ok());
  SerialPort holder;
  ASSERT_EQ(ChannelError(), holder.Open(held.devicePath(), 2048, 2048));
  ASSERT_EQ(0, ::chmod(refused.devicePath().c_str(), 0));

  const struct {
    const char* what;
    std::string path;
    ChannelErrorKind kind;
    int systemError;
    const char* reason;
  } cases[] = {
      {"missing path", dir + "missing", ChannelErrorKind::NotFound, ENOENT, "No such file or directory"},
      {"socket", dir + "socket", ChannelErrorKind::NoDevice, ENXIO, "No such device or address"},
      {"regular file", dir + "file", ChannelErrorKind::WrongDevice, ENOTTY,
       "Inappropriate ioctl for device"},
      {"directory", dir + "directory", ChannelErrorKind::WrongDevice, EISDIR, "Is a directory"},
      {"path through a file", dir + "file/port", ChannelErrorKind::System, ENOTDIR, "Not a directory"},
      {"port another holder has", held.devicePath(), ChannelErrorKind::Busy, EBUSY,
       "Device or resource busy"},
      {"port open on this object", held.devicePath(), ChannelErrorKind::AlreadyOpen, 0, "already open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SerialPort fresh;
    SerialPort& port = c.kind == ChannelErrorKind::AlreadyOpen ? holder : fresh;
    const ChannelError error = port.Open(c.path, 2048, 2048);
    EXPECT_EQ(error.kind(), c.kind);
    EXPECT_EQ(error.systemError(), c.systemError);
    EXPECT_EQ(error.Reason(), c.reason);
    EXPECT_EQ(port.LastError(), error);
  }
  EXPECT_EQ(ChannelError(ChannelErrorKind::AccessDenied, EACCES),
            OpenWithoutPrivileges(refused.devicePath()));
  ::close(listener);
}

TEST(SerialPortOpen, PortIsNotSharedAndIsFreeAgainAfterClose) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialPort first, second;
  ASSERT_EQ(ChannelError(), first.Open(pty.devicePath(), 2048, 2048));
  EXPECT_EQ(ChannelError(ChannelErrorKind::Busy, EBUSY), second.Open(pty.devicePath(), 2048, 2048));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(ChannelError(ChannelErrorKind::Busy, EBUSY), SerialPort::CheckPort(pty.devicePath()));
  EXPECT_EQ(ChannelError(), first.Close());
  EXPECT_EQ(ChannelError(), SerialPort::CheckPort(pty.devicePath()));
  EXPECT_EQ(ChannelError(), second.Open(pty.devicePath(), 2048, 2048));
  // Reopening the same object after Close works too.
  EXPECT_EQ(ChannelError(), second.Close());
  EXPECT_EQ(ChannelError(), second.Open(pty.devicePath(), 2048, 2048));
}

TEST(SerialPortOpen, AHolderThatIsKilledLeavesThePortFree) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    SerialPort port;
    const char opened = port.Open(pty.devicePath(), 2048, 2048).ok() ? 'y' : 'n';
    if (::write(ready[1], &opened, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char opened = 0;
  EXPECT_EQ(1, ::read(ready[0], &opened, 1));
  EXPECT_EQ('y', opened);
  SerialPort second;
  EXPECT_EQ(ChannelError(ChannelErrorKind::Busy, EBUSY), second.Open(pty.devicePath(), 2048, 2048))
      << "refused while the holder lives";
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);

  // Nothing of the holder stays on the terminal: not its lock, and no
  // exclusive mode that would refuse an unprivileged opener.
  const int look = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(look, 0);
  int exclusive = -1;
  EXPECT_EQ(0, ::ioctl(look, TIOCGEXCL, &exclusive));
  EXPECT_EQ(0, exclusive);
  ::close(look);
  EXPECT_EQ(ChannelError(), second.Open(pty.devicePath(), 2048, 2048));
}

TEST(SerialPortClosed, EveryOperationReportsInvalidHandle) {
  SerialPort port;
  const ChannelError kInvalid(ChannelErrorKind::NotOpen);
  std::uint8_t buffer[4] = {};
  std::uint32_t count = 77;
  for (const ChannelError& code :
       {port.Setup(9600, 8, 0, 0), port.SetEventChar('x', true), port.SetMask(1),
        port.WaitEvent(nullptr, 0), port.SetupHandshaking(0), port.SetupReadTimeouts(0),
        port.Purge(), port.Write(buffer, 4, nullptr, nullptr, 0)}) {
    EXPECT_EQ(kInvalid, code);
  }
  // The count is cleared even on a closed port.
  EXPECT_EQ(kInvalid, port.Write("ab", &count, nullptr, 0));
  EXPECT_EQ(0u, count);
  count = 77;
  EXPECT_EQ(kInvalid, port.Read(buffer, 4, &count, nullptr, 0));
  EXPECT_EQ(0u, count);

  // Getters: their failure value, with LastError() NotOpen each time.
  EXPECT_EQ(-1, port.GetBaudRate());
  EXPECT_EQ(-1, port.GetDataBits());
  EXPECT_EQ(-1, port.GetParity());
  EXPECT_EQ(-1, port.GetStopBits());
  EXPECT_EQ(-1, port.GetHandshaking());
  EXPECT_EQ(0u, port.GetEventMask());
  EXPECT_EQ(0u, port.GetEventChar());
  EXPECT_EQ(0u, port.ClearLineErrors());
  EXPECT_FALSE(port.GetCTS());
  EXPECT_FALSE(port.GetDSR());
  EXPECT_FALSE(port.GetRing());
  EXPECT_FALSE(port.GetRLSD());
  EXPECT_EQ(kInvalid, port.LastError());

  // Close and TakeLastEvent are harmless and leave lastError alone or at 0.
  EXPECT_EQ(ChannelError(), port.Close());
  EXPECT_EQ(0xFFFFFFFFu, port.TakeLastEvent());
}

TEST_F(SerialPortTest, ParityRoundTripFollowsParityChecking) {
  for (std::uint8_t parity : {1, 2, 3, 4}) {
    ASSERT_EQ(ChannelError(), port.Setup(9600, 8, parity, 0));
    EXPECT_EQ(parity, port.GetParity()) << int(parity);
  }
  ASSERT_EQ(ChannelError(), port.Setup(9600, 8, 0, 0));
  EXPECT_EQ(0, port.GetParity());
}

TEST_F(SerialPortTest, LineSettingsRoundTripAndRejectWhatLinuxCannotDo) {
  ASSERT_EQ(ChannelError(), port.Setup(115200, 8, 2, 2));
  EXPECT_EQ(115200, port.GetBaudRate());
  EXPECT_EQ(2, port.GetStopBits());

  // Each invalid value fails as an invalid argument and leaves every setting as it was.
  const struct {
    std::uint32_t baud;
    std::uint8_t dataBits, parity, stopBits;
  } invalid[] = {{14400, 8, 0, 0}, {0, 8, 0, 0}, {9600, 4, 0, 0}, {9600, 9, 0, 0},
                 {9600, 8, 5, 0},  {9600, 8, 0, 1}, {9600, 8, 0, 3}};
  for (const auto& values : invalid) {
    EXPECT_EQ(ChannelError(ChannelErrorKind::InvalidArgument),
              port.Setup(values.baud, values.dataBits, values.parity, values.stopBits));
    EXPECT_EQ(115200, port.GetBaudRate());
    EXPECT_EQ(2, port.GetParity());
    EXPECT_EQ(2, port.GetStopBits());
  }
}

TEST_F(SerialPortTest, HandshakingModesAndInvalidModesLeaveSettings) {
  // A pseudo-terminal has no modem lines; flow control is still set.
  EXPECT_EQ(ChannelError(), port.SetupHandshaking(SerialPort::HandshakeHardware));
  EXPECT_EQ(SerialPort::HandshakeHardware, port.GetHandshaking());
  EXPECT_EQ(ChannelError(ChannelErrorKind::InvalidArgument), port.SetupHandshaking(3));
  EXPECT_EQ(ChannelError(ChannelErrorKind::InvalidArgument), port.SetupHandshaking(-1));
  EXPECT_EQ(SerialPort::HandshakeHardware, port.GetHandshaking());
  EXPECT_EQ(ChannelError(), port.SetupHandshaking(SerialPort::HandshakeSoftware));
  EXPECT_EQ(SerialPort::HandshakeSoftware, port.GetHandshaking());
  EXPECT_EQ(ChannelError(), port.SetupHandshaking(SerialPort::HandshakeOff));
  EXPECT_EQ(SerialPort::HandshakeOff, port.GetHandshaking());
}

TEST_F(SerialPortTest, InvalidReadModeKeepsTheCurrentMode) {
  ASSERT_EQ(ChannelError(), port.SetupReadTimeouts(SerialPort::ReadBlocking));
  EXPECT_EQ(ChannelError(ChannelErrorKind::InvalidArgument), port.SetupReadTimeouts(2));
  EXPECT_EQ(ChannelError(ChannelErrorKind::InvalidArgument), port.LastError());
  // Still blocking: a read with nothing to read runs into its time limit.
  std::uint8_t byte = 0;
  std::uint32_t count = 0;
  EXPECT_EQ(kTimedOut, port.Read(&byte, 1, &count, nullptr, 50));
}

TEST_F(SerialPortTest, ModemLinesAndLineErrorsOnALineWithoutThemFailQuietly) {
  EXPECT_FALSE(port.GetCTS());
  EXPECT_TRUE(port.LastError().failed());
  EXPECT_FALSE(port.GetDSR());
  EXPECT_FALSE(port.GetRing());
  EXPECT_FALSE(port.GetRLSD());
  EXPECT_EQ(0u, port.ClearLineErrors());
  // The port itself is unharmed.
  EXPECT_EQ(ChannelError(), port.Purge());
  EXPECT_EQ(9600, port.GetBaudRate());
}

}  // namespace
}  // namespace lumivane
