// SerialPort on pseudo-terminals: opening, closing, line settings and modes.
#include "link/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "SerialPortFixture.h"

namespace lumivane {
namespace {

using test::PtyPair;

using SerialPortTest = test::SerialPortOnPty;

TEST_F(SerialPortTest, OpenOnAnOpenPortChangesNothingAndThePortStaysUsable) {
  ASSERT_EQ(0u, port.Setup(19200, 8, 0, 2));
  EXPECT_EQ(SerialPort::kAlreadyInitialized, port.Open(pty.devicePath(), 2048, 2048));
  EXPECT_EQ(SerialPort::kAlreadyInitialized, port.LastError());
  EXPECT_TRUE(port.IsOpen());
  // The second Open did not reapply the defaults.
  EXPECT_EQ(19200, port.GetBaudRate());
  EXPECT_EQ(2, port.GetStopBits());
  std::uint32_t written = 0;
  EXPECT_EQ(0u, port.Write("\xB0", &written, nullptr, SerialPort::kInfinite));
  EXPECT_EQ(1u, written);
  EXPECT_EQ(std::vector<std::uint8_t>{0xB0}, pty.Receive(1));
}

TEST_F(SerialPortTest, OpenAppliesTheDefaultsEvenAfterEarlierSettings) {
  ASSERT_EQ(0u, port.Setup(115200, 8, 2, 2));
  ASSERT_EQ(0u, port.SetupHandshaking(SerialPort::HandshakeSoftware));
  ASSERT_EQ(0u, port.SetMask(SerialPort::EV_RXFLAG));
  ASSERT_EQ(0u, port.SetupReadTimeouts(SerialPort::ReadBlocking));
  ASSERT_EQ(0u, port.Close());
  ASSERT_EQ(0u, port.Open(pty.devicePath(), 2048, 2048));

  EXPECT_EQ(9600, port.GetBaudRate());
  EXPECT_EQ(8, port.GetDataBits());
  EXPECT_EQ(0, port.GetParity());
  EXPECT_EQ(0, port.GetStopBits());
  EXPECT_EQ(SerialPort::HandshakeOff, port.GetHandshaking());
  EXPECT_EQ(0xC1u, port.GetEventMask());
  // Non-blocking reads: no data, no wait, even without a time limit.
  std::uint8_t byte = 0;
  std::uint32_t count = 99;
  EXPECT_EQ(0u, port.Read(&byte, 1, &count, nullptr, SerialPort::kInfinite));
  EXPECT_EQ(0u, count);
}

TEST(SerialPortOpen, FailuresLeaveTheObjectClosed) {
  SerialPort port;
  EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), port.Open("/dev/lumivane-no-such-port", 2048, 2048));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(0u, port.Close());
  EXPECT_EQ(0u, port.LastError());
  // A device that is not a serial line.
  EXPECT_EQ(static_cast<std::uint32_t>(ENOTTY), port.Open("/dev/null", 2048, 2048));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(1, SerialPort::CheckPort("/dev/lumivane-no-such-port"));
  EXPECT_EQ(-1, SerialPort::CheckPort("/dev/null"));
}

TEST(SerialPortOpen, PortIsNotSharedAndIsFreeAgainAfterClose) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialPort first, second;
  ASSERT_EQ(0u, first.Open(pty.devicePath(), 2048, 2048));
  EXPECT_EQ(static_cast<std::uint32_t>(EBUSY), second.Open(pty.devicePath(), 2048, 2048));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(-1, SerialPort::CheckPort(pty.devicePath()));
  EXPECT_EQ(0u, first.Close());
  EXPECT_EQ(0, SerialPort::CheckPort(pty.devicePath()));
  EXPECT_EQ(0u, second.Open(pty.devicePath(), 2048, 2048));
  // Reopening the same object after Close works too.
  EXPECT_EQ(0u, second.Close());
  EXPECT_EQ(0u, second.Open(pty.devicePath(), 2048, 2048));
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
    const char opened = port.Open(pty.devicePath(), 2048, 2048) == 0 ? 'y' : 'n';
    if (::write(ready[1], &opened, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char opened = 0;
  EXPECT_EQ(1, ::read(ready[0], &opened, 1));
  EXPECT_EQ('y', opened);
  SerialPort second;
  EXPECT_EQ(static_cast<std::uint32_t>(EBUSY), second.Open(pty.devicePath(), 2048, 2048))
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
  EXPECT_EQ(0u, second.Open(pty.devicePath(), 2048, 2048));
}

TEST(SerialPortClosed, EveryOperationReportsInvalidHandle) {
  SerialPort port;
  const std::uint32_t kInvalid = SerialPort::kInvalidHandle;
  std::uint8_t buffer[4] = {};
  std::uint32_t count = 77;
  for (std::uint32_t code :
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

  // Getters: their failure value, with lastError 6 each time.
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
  EXPECT_EQ(0u, port.Close());
  EXPECT_EQ(0xFFFFFFFFu, port.TakeLastEvent());
}

TEST_F(SerialPortTest, ParityRoundTripFollowsParityChecking) {
  for (std::uint8_t parity : {1, 2, 3, 4}) {
    ASSERT_EQ(0u, port.Setup(9600, 8, parity, 0));
    EXPECT_EQ(parity, port.GetParity()) << int(parity);
  }
  ASSERT_EQ(0u, port.Setup(9600, 8, 0, 0));
  EXPECT_EQ(0, port.GetParity());
}

TEST_F(SerialPortTest, LineSettingsRoundTripAndRejectWhatLinuxCannotDo) {
  ASSERT_EQ(0u, port.Setup(115200, 8, 2, 2));
  EXPECT_EQ(115200, port.GetBaudRate());
  EXPECT_EQ(2, port.GetStopBits());

  // Each invalid value fails with EINVAL and leaves every setting as it was.
  const struct {
    std::uint32_t baud;
    std::uint8_t dataBits, parity, stopBits;
  } invalid[] = {{14400, 8, 0, 0}, {0, 8, 0, 0}, {9600, 4, 0, 0}, {9600, 9, 0, 0},
                 {9600, 8, 5, 0},  {9600, 8, 0, 1}, {9600, 8, 0, 3}};
  for (const auto& values : invalid) {
    EXPECT_EQ(static_cast<std::uint32_t>(EINVAL),
              port.Setup(values.baud, values.dataBits, values.parity, values.stopBits));
    EXPECT_EQ(115200, port.GetBaudRate());
    EXPECT_EQ(2, port.GetParity());
    EXPECT_EQ(2, port.GetStopBits());
  }
}

TEST_F(SerialPortTest, HandshakingModesAndInvalidModesLeaveSettings) {
  // A pseudo-terminal has no modem lines; flow control is still set.
  EXPECT_EQ(0u, port.SetupHandshaking(SerialPort::HandshakeHardware));
  EXPECT_EQ(SerialPort::HandshakeHardware, port.GetHandshaking());
  EXPECT_EQ(SerialPort::kInvalidArgument, port.SetupHandshaking(3));
  EXPECT_EQ(SerialPort::kInvalidArgument, port.SetupHandshaking(-1));
  EXPECT_EQ(SerialPort::HandshakeHardware, port.GetHandshaking());
  EXPECT_EQ(0u, port.SetupHandshaking(SerialPort::HandshakeSoftware));
  EXPECT_EQ(SerialPort::HandshakeSoftware, port.GetHandshaking());
  EXPECT_EQ(0u, port.SetupHandshaking(SerialPort::HandshakeOff));
  EXPECT_EQ(SerialPort::HandshakeOff, port.GetHandshaking());
}

TEST_F(SerialPortTest, InvalidReadModeKeepsTheCurrentMode) {
  ASSERT_EQ(0u, port.SetupReadTimeouts(SerialPort::ReadBlocking));
  EXPECT_EQ(SerialPort::kInvalidArgument, port.SetupReadTimeouts(2));
  EXPECT_EQ(SerialPort::kInvalidArgument, port.LastError());
  // Still blocking: a read with nothing to read runs into its time limit.
  std::uint8_t byte = 0;
  std::uint32_t count = 0;
  EXPECT_EQ(SerialPort::kTimeout, port.Read(&byte, 1, &count, nullptr, 50));
}

TEST_F(SerialPortTest, ModemLinesAndLineErrorsOnALineWithoutThemFailQuietly) {
  EXPECT_FALSE(port.GetCTS());
  EXPECT_NE(0u, port.LastError());
  EXPECT_FALSE(port.GetDSR());
  EXPECT_FALSE(port.GetRing());
  EXPECT_FALSE(port.GetRLSD());
  EXPECT_EQ(0u, port.ClearLineErrors());
  // The port itself is unharmed.
  EXPECT_EQ(0u, port.Purge());
  EXPECT_EQ(9600, port.GetBaudRate());
}

}  // namespace
}  // namespace lumivane
