// Whole downloads through the real serial port to the keypad simulator on
// a pseudo-terminal. The link's pauses run on a manual clock; the serial
// port's own time limits are real.
#include <gtest/gtest.h>

#include <thread>

#include "FakeDownloadHost.h"
#include "TestPaths.h"
#include "link/DownloadChain.h"
#include "link/SerialPort.h"
#include "sim/LayerDecode.h"
#include "sim/PtyKeypad.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";

class PtyDownloadTest : public ::testing::Test {
 protected:
  PtyDownloadTest() : host(&clock) {
    host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    host.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    host.choices.keysText = "120";
    host.choices.link = LinkKind::Rs232;
  }

  // Starts the simulator and the download; returns once the download waits
  // for the keypad or has ended.
  void Start(sim::KeypadOptions options) {
    keypad = std::make_unique<sim::PtyKeypad>(options);
    std::string error;
    ASSERT_TRUE(keypad->Start(&error)) << error;
    host.choices.portName = keypad->devicePath();
    LinkChannels channels;
    channels.serialPort = &port;
    channels.clock = realPauses ? nullptr : &clock;
    chain = std::make_unique<DownloadChain>(host, channels, SourceDir() + "/emulators/", false);
    chain->StartDownload();
    host.Run(*chain, 0);
  }

  // Ticks the ready timer every few real milliseconds until the download
  // ends or `ticks` ticks have passed.
  void RunTicks(int ticks) {
    for (int i = 0; i < ticks && chain->IsRunning(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (host.timerRunning) chain->OnReadyTimer();
      host.Run(*chain, 0);
    }
  }

  ManualClock clock;
  bool realPauses = false;  // the monotonic clock paces the data bytes
  FakeDownloadHost host;
  SerialPort port;
  std::unique_ptr<sim::PtyKeypad> keypad;
  std::unique_ptr<DownloadChain> chain;
};

TEST_F(PtyDownloadTest, BothLayersArriveWhole) {
  for (int layer : {1, 2}) {
    SCOPED_TRACE(layer);
    host.statusLines.clear();
    host.choices.layer = layer;
    Start({});
    RunTicks(2000);
    EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", "DOWNLOAD SUCCESSFUL"}));
    ASSERT_TRUE(keypad->WaitForEnd(std::chrono::seconds(10)));
    keypad->Stop();
    const sim::KeypadModel received = keypad->Snapshot();
    const sim::ReceivedLayer found = sim::FindReceivedLayer(received);
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.layer, layer);
    EXPECT_EQ(found.announced, chain->builder().imageLength());
    EXPECT_EQ(received.pendingWriteBytes(), 0u);
    const std::uint8_t* built = chain->builder().image();
    for (int i = chain->builder().tableSize(); i < chain->builder().imageLength(); ++i)
      ASSERT_EQ(received.Peek(static_cast<std::uint16_t>(found.start + i)), built[i]) << i;
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST_F(PtyDownloadTest, WrongIdentityIsRefused) {
  sim::KeypadOptions options;
  options.SetWrongIdentity();
  Start(options);
  RunTicks(2000);
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Wrong Device ID"}));
  EXPECT_TRUE(keypad->Snapshot().commands().empty());
}

TEST_F(PtyDownloadTest, SilentKeypadWaitsUntilCancel) {
  sim::KeypadOptions options;
  options.silent = true;
  Start(options);
  RunTicks(20);
  EXPECT_TRUE(chain->IsRunning());
  chain->CancelDownload();
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Operation cancelled by user"}));
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(PtyDownloadTest, HangUpMidTransferEndsWithTimeout) {
  // Paced as on a real line: without the pauses the whole image would sit
  // in the terminal's buffer before the keypad hangs up.
  realPauses = true;
  sim::KeypadOptions options;
  options.hangUpAfterBytes = 120;
  Start(options);
  RunTicks(2000);
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", "Quintrel communication timeout"}));
  EXPECT_FALSE(chain->LastDownloadSucceeded());
}

}  // namespace
}  // namespace lumivane::test
