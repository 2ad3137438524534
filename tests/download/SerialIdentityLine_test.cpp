// The serial line as the download leaves it while it waits for the keypad:
// what is on the line before the identity request, and the line settings.
// The test plays the keypad through the master of a pseudo-terminal and
// keeps its own descriptor of the device side to look at the line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

#include "FakeDownloadHost.h"
#include "PtyPair.h"
#include "TestPaths.h"
#include "download/DownloadChain.h"
#include "link/SerialPort.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";

class SerialIdentityLineTest : public ::testing::Test {
 protected:
  SerialIdentityLineTest() : host(&clock) {
    host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    host.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    host.choices.keysText = "120";
    host.choices.link = LinkKind::Rs232;
    host.choices.portName = pty.devicePath();
  }

  ~SerialIdentityLineTest() override {
    if (chain && chain->IsRunning()) chain->CancelDownload();
    if (deviceSide >= 0) ::close(deviceSide);
  }

  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    deviceSide = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(deviceSide, 0);
    // Raw, so that the input queue counts every byte (not only whole lines).
    termios raw{};
    ASSERT_EQ(::tcgetattr(deviceSide, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(deviceSide, TCSANOW, &raw), 0);
  }

  // Waits until the bytes sent by the keypad have reached the device side's
  // input queue, so that what follows does not depend on the terminal's timing.
  int QueuedInput(int expectAtLeast) {
    int queued = 0;
    for (int i = 0; i < 200; ++i) {
      ::ioctl(deviceSide, FIONREAD, &queued);
      if (queued >= expectAtLeast) break;
      pollfd watch{deviceSide, POLLIN, 0};
      ::poll(&watch, 1, 10);
    }
    return queued;
  }

  void StartDownload() {
    LinkChannels channels;
    channels.serialPort = &port;
    channels.clock = &clock;
    chain = std::make_unique<DownloadChain>(host, channels, SourceDir() + "/emulators/");
    chain->StartDownload();
    host.Run(*chain, 0);
  }

  PtyPair pty;
  int deviceSide = -1;
  ManualClock clock;
  FakeDownloadHost host;
  SerialPort port;
  std::unique_ptr<DownloadChain> chain;
};

TEST_F(SerialIdentityLineTest, InputQueuedBeforeTheIdentityRequestIsNotTakenForTheAnswer) {
  // A byte left on the line from earlier traffic, e.g. a keypad that was
  // switched on: it must not count as the keypad's identity answer.
  ASSERT_TRUE(pty.Send({0x55}));
  ASSERT_EQ(QueuedInput(1), 1);

  StartDownload();
  ASSERT_EQ(host.statusLines, Lines{kPress});
  EXPECT_EQ(QueuedInput(0), 0) << "the stale byte is still queued";
  EXPECT_EQ(pty.Receive(1), std::vector<std::uint8_t>{0xB0});

  chain->OnReadyTimer();
  EXPECT_EQ(host.statusLines, Lines{kPress}) << "the stale byte was read as the answer";
  EXPECT_TRUE(host.queue.empty());

  // The real answer still starts the transfer.
  ASSERT_TRUE(pty.Send({0xC0}));
  ASSERT_EQ(QueuedInput(1), 1);
  chain->OnReadyTimer();
  ASSERT_EQ(host.queue.size(), 1u);
  EXPECT_EQ(host.queue.front(), DownloadMessage::Transfer);
  EXPECT_EQ(host.statusLines, Lines{kPress});
}

TEST_F(SerialIdentityLineTest, LineRunsAt9600EightBitsNoParityOneStopBitRawWithoutFlowControl) {
  // Start from settings a previous user of the port could have left.
  termios before{};
  ASSERT_EQ(::tcgetattr(deviceSide, &before), 0);
  before.c_cflag |= PARENB | CSTOPB | CRTSCTS;
  before.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
  before.c_lflag |= ICANON | ECHO | ISIG;
  before.c_oflag |= OPOST;
  ::cfsetispeed(&before, B38400);
  ::cfsetospeed(&before, B38400);
  ASSERT_EQ(::tcsetattr(deviceSide, TCSANOW, &before), 0);

  StartDownload();
  ASSERT_EQ(host.statusLines, Lines{kPress});
  ASSERT_TRUE(port.IsOpen());

  termios line{};
  ASSERT_EQ(::tcgetattr(deviceSide, &line), 0);
  EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B9600));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(line.c_cflag & CREAD, 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK), 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
}

}  // namespace
}  // namespace lumivane::test
