// Whole downloads through the real serial port to the keypad simulator on
// a pseudo-terminal. The link's pauses run on a manual clock. The serial
// port's own time limits are real, as the simulator answers on its own
// thread, except where no answer is due (see LineFault::onManualClock).
#include <gtest/gtest.h>

#include <thread>

#include "ChannelErrorPrinter.h"
#include "FakeDownloadHost.h"
#include "TestPaths.h"
#include "download/DownloadChain.h"
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
  void Start(sim::KeypadOptions options, bool portOnManualClock = false) {
    keypad = std::make_unique<sim::PtyKeypad>(options);
    ASSERT_EQ(ChannelError(), keypad->Start());
    host.choices.portName = keypad->devicePath();
    LinkChannels channels;
    channels.serialPort = portOnManualClock ? &portOnClock : &port;
    channels.clock = realPauses ? nullptr : &clock;
    chain = std::make_unique<DownloadChain>(host, channels, SourceDir() + "/emulators/");
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
  SerialPort portOnClock{clock};
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
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Wrong Device ID",
                                     keypad->devicePath() + ": the keypad answered 0xC8, not 0xC0"}));
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
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", "Quintrel communication timeout",
                                     keypad->devicePath() + ": the line was hung up"}));
  EXPECT_FALSE(chain->LastDownloadSucceeded());
}

// ---- Faults of the keypad on the line ----

struct LineFault {
  const char* name;
  sim::KeypadOptions options;
  Lines after;  // the lines after the prompt; "@" stands for the port
  // The serial port waits on the manual clock: after the identity no
  // answer is due, so no byte from the simulator's thread can be missed,
  // and the port's time limits pass without real time passing.
  bool onManualClock = false;
};

sim::KeypadOptions Layer2At0x0200() {
  // The image does not fit below layer 2: only a read that is off by one
  // makes the placement pass.
  sim::KeypadOptions options;
  options.layer2Start = 0x0200;
  return options;
}

std::vector<LineFault> LineFaults() {
  // The detail shows the placement read the true layer-2 start.
  const Lines noMemory{"Transfer in progress", "Not enough memory in the Quintrel",
                       "The image takes 607 bytes; layer 1 has room for 511 bytes, from its start "
                       "0x0001 up to layer 2's start 0x0200"};
  const Lines hungUp{"Transfer in progress", "Quintrel communication timeout", "@: the line was hung up"};
  const Lines outOfStep{"Transfer in progress", "Quintrel communication timeout",
                        "@: the keypad's answers came out of step"};
  std::vector<LineFault> faults;
  auto add = [&faults](const char* name, const Lines& after, auto set) {
    LineFault fault{name, Layer2At0x0200(), after};
    set(fault.options);
    faults.push_back(fault);
  };
  add("IdentityAnswerTwice", noMemory, [](sim::KeypadOptions& o) { o.extraBytesAfter = 0; });
  // Once the keypad has answered, a byte no read asked for may already have
  // been taken for an answer: the download cannot trust its reads.
  add("ExtraByteAfterARead", outOfStep, [](sim::KeypadOptions& o) { o.extraBytesAfter = 3; });
  add("LateVersionAnswer", noMemory, [](sim::KeypadOptions& o) { o.lateAnswerRead = 1; });
  add("HangUpAfterTheImage", hungUp, [](sim::KeypadOptions& o) {
    o.layer2Start = 0x8000;
    o.hangUpInEndCommand = 0;
  });
  add("HangUpInsideTheEndCommand", hungUp, [](sim::KeypadOptions& o) {
    o.layer2Start = 0x8000;
    o.hangUpInEndCommand = 3;
  });
  add("StopsReadingAfterTheIdentityRequest",
      {"Transfer in progress", "Quintrel communication timeout", "@: the keypad stopped taking data"},
      [](sim::KeypadOptions& o) { o.stopReadingAfterBytes = 1; });
  faults.back().onManualClock = true;
  add("HangUpWhileWaitingForShiftLoad",
      {"Quintrel communication timeout", "@: the line was hung up"},
      [](sim::KeypadOptions& o) { o.hangUpAfterBytes = 1; });
  return faults;
}

void PrintTo(const LineFault& fault, std::ostream* out) { *out << fault.name; }

class PtyLineFaultTest : public PtyDownloadTest, public ::testing::WithParamInterface<LineFault> {};

TEST_P(PtyLineFaultTest, EndsWithTheRightLineAndNeverAFalseSuccess) {
  Start(GetParam().options, GetParam().onManualClock);
  RunTicks(2000);
  ASSERT_FALSE(chain->IsRunning());
  Lines expected{kPress};
  for (std::string line : GetParam().after) {
    if (line[0] == '@') line = keypad->devicePath() + line.substr(1);
    expected.push_back(line);
  }
  EXPECT_EQ(host.statusLines, expected);
  EXPECT_FALSE(chain->LastDownloadSucceeded());
  keypad->Stop();
  // Where the placement refused, nothing was written into the keypad.
  if (GetParam().after[1] == "Not enough memory in the Quintrel") {
    EXPECT_EQ(chain->outcome().placementBase, std::nullopt);
    const sim::KeypadModel received = keypad->Snapshot();
    for (const sim::KeypadCommand& command : received.commands())
      EXPECT_EQ(command.kind, sim::KeypadCommand::Kind::Read);
  }
}

INSTANTIATE_TEST_SUITE_P(Rs232, PtyLineFaultTest, ::testing::ValuesIn(LineFaults()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumivane::test
