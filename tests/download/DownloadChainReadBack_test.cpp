// Verify, read-back and backup through the whole chain, against the
// simulated keypad on each of the three links.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <thread>

#include "ChannelErrorPrinter.h"
#include "FakeDownloadHost.h"
#include "TestPaths.h"
#include "download/DownloadChain.h"
#include "link/SerialPort.h"
#include "sim/PtyKeypad.h"
#include "sim/SimulatedHid.h"
#include "sim/SimulatedKeyboardLine.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// One simulated keypad that keeps its memory across sessions, on one link.
class ReadBackChain : public ::testing::Test {
 protected:
  ReadBackChain() : host(&clock) {
    host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    host.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    host.choices.keysText = "120";
    host.keySource = QueuedKeySource(typed, clock);
  }

  void UseKeypad(LinkKind link, sim::KeypadOptions options) {
    host.choices.link = link;
    if (link == LinkKind::Usb) {
      hid = std::make_unique<sim::SimulatedHid>(&clock);
      hid->AddKeypad("/dev/hidraw1", options);
    } else if (link == LinkKind::PcAt) {
      model = std::make_unique<sim::KeypadModel>(options, &clock);
      std::array<char, 16> nibbles{};
      for (int i = 0; i < 16; ++i) nibbles[i] = static_cast<char>('A' + i);
      line = std::make_unique<sim::SimulatedKeyboardLine>(
          *model, nibbles, [this](int key) { typed.push_back(key); }, sim::KeyboardLineOptions{}, &clock);
    } else {
      pty = std::make_unique<sim::PtyKeypad>(options);
      ASSERT_EQ(ChannelError(), pty->Start());
      host.choices.portName = pty->devicePath();
    }
  }

  // The keypad after the session. On the pseudo-terminal the program's
  // last bytes (the end command) may still be on their way when the chain
  // ends: the keypad takes all of them before it is looked at.
  sim::KeypadModel Keypad() {
    if (pty) {
      EXPECT_TRUE(pty->Release(std::chrono::seconds(10))) << "the keypad took the session's bytes";
      return pty->Snapshot();
    }
    return model ? *model : *hid->KeypadAt("/dev/hidraw1");
  }

  // One session from the start to its last line: the keypad's user
  // presses shift+load at once.
  void RunSession() {
    host.statusLines.clear();
    host.calls.clear();
    LinkChannels channels;
    channels.clock = &clock;
    channels.hidBackend = hid.get();
    channels.serialPort = &port;
    channels.keyboardLine = line.get();
    chain = std::make_unique<DownloadChain>(host, channels, SourceDir() + "/emulators/");
    chain->StartDownload();
    for (int i = 0; i < 4000 && chain->IsRunning(); ++i) {
      host.Run(*chain, 1);
      if (line && line->Poll()) {
        for (; !typed.empty(); typed.pop_front()) {
          if (typed.front() == 'Y') chain->OnYes();
        }
      }
      if (pty) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(chain->IsRunning());
  }

  // The lines from "Transfer in progress" or "Read in progress" on.
  Lines JobLines() const {
    auto from = std::find_if(host.statusLines.begin(), host.statusLines.end(), [](const std::string& l) {
      return l == "Transfer in progress" || l == "Read in progress";
    });
    return Lines(from, host.statusLines.end());
  }

  Bytes BuiltImage() const {
    return Bytes(chain->builder().image(), chain->builder().image() + chain->builder().imageLength());
  }

  ManualClock clock;
  FakeDownloadHost host;
  std::unique_ptr<sim::SimulatedHid> hid;
  std::unique_ptr<sim::KeypadModel> model;
  std::unique_ptr<sim::SimulatedKeyboardLine> line;
  std::deque<int> typed;
  SerialPort port;
  std::unique_ptr<sim::PtyKeypad> pty;
  std::unique_ptr<DownloadChain> chain;
};

class VerifyOnEachLink : public ReadBackChain, public ::testing::WithParamInterface<LinkKind> {};

TEST_P(VerifyOnEachLink, PassesOnASoundKeypadAndNamesAStuckByte) {
  const struct {
    const char* name;
    std::vector<std::uint16_t> stuck;
    Lines tail;
  } cases[] = {
      {"sound", {}, {"Verified 609 bytes", "DOWNLOAD SUCCESSFUL"}},
      // Key 1's entry: the relocated offset's high byte 0x01 over 0xFF.
      {"stuck", {0x0004, 0x0100}, {"Verify failed at 0x0004: wrote 0x01, read 0xFF (2 bytes differ)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::KeypadOptions options;
    options.stuckBytes = c.stuck;
    UseKeypad(GetParam(), options);
    host.choices.verify = true;
    RunSession();
    Lines expected{"Transfer in progress"};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(JobLines(), expected);
    EXPECT_EQ(chain->LastDownloadSucceeded(), c.stuck.empty());
    EXPECT_EQ(chain->outcome().exitStatus, c.stuck.empty() ? 0 : 14);
    EXPECT_EQ(chain->outcome().statusLine, c.tail.back());
    EXPECT_EQ(chain->outcome().keypad, KeypadHolds::Complete);
    EXPECT_EQ(chain->outcome().verify, c.stuck.empty() ? VerifyResult::Passed : VerifyResult::Failed);
    EXPECT_EQ(chain->outcome().placementBase, std::optional<std::uint16_t>(0x0001)) << "layer 1's start";
    EXPECT_EQ(Keypad().endCommands(), 1u) << "the end command follows either way";
    // The verify pass is a second pass of the progress bar and counter.
    EXPECT_EQ(host.CallsStartingWith("range:"), (Lines{"range:607", "range:609"}));
    EXPECT_EQ(host.CallsStartingWith("bytes:").back(), "bytes:00609");
  }
}

INSTANTIATE_TEST_SUITE_P(Links, VerifyOnEachLink,
                         ::testing::Values(LinkKind::Usb, LinkKind::Rs232, LinkKind::PcAt),
                         [](const auto& info) {
                           return info.param == LinkKind::Usb    ? std::string("Usb")
                                  : info.param == LinkKind::Rs232 ? std::string("Rs232")
                                                                  : std::string("PcAt");
                         });

TEST_F(ReadBackChain, ReadBackGivesTheTranslatedImageWithoutWritingAndEnds) {
  const struct {
    const char* name;
    int layer;
    std::uint16_t layer1Start;
    bool probeEqual;
  } cases[] = {
      {"layer 2", 2, 0x0001, false},
      {"layer 1 at 0x6001 after the probe", 1, 0x2222, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::KeypadOptions options;
    options.layer1Start = c.layer1Start;
    if (c.probeEqual) options.probeHigh = options.probeLow;
    UseKeypad(LinkKind::Usb, options);
    host.choices.layer = c.layer;
    host.choices.job = KeypadJob::Download;
    RunSession();
    ASSERT_TRUE(chain->LastDownloadSucceeded());
    const Bytes built = BuiltImage();
    const std::size_t commandsBefore = Keypad().commands().size();

    host.choices.job = KeypadJob::ReadLayer;
    host.choices.sourcePath.clear();
    RunSession();
    host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    EXPECT_EQ(JobLines(), Lines{"Read in progress"});
    EXPECT_TRUE(chain->LastDownloadSucceeded());
    ASSERT_EQ(chain->layerRead().end, LayerReadEnd::Read);
    EXPECT_EQ(chain->layerRead().Image(), built);
    const sim::KeypadModel held = Keypad();
    const auto& commands = held.commands();
    for (std::size_t i = commandsBefore; i + 1 < commands.size(); ++i)
      ASSERT_EQ(commands[i].kind, sim::KeypadCommand::Kind::Read) << i;
    EXPECT_EQ(commands.back().kind, sim::KeypadCommand::Kind::End);
  }
}

TEST_F(ReadBackChain, AnEmptyLayerIsRefusedAndTheKeypadLeavesLoadMode) {
  UseKeypad(LinkKind::Usb, {});
  host.choices.job = KeypadJob::ReadLayer;
  RunSession();
  EXPECT_EQ(JobLines(), (Lines{"Read in progress",
                               "Layer 1 holds no image: its end 0x0000 lies below its start 0x0001"}));
  EXPECT_FALSE(chain->LastDownloadSucceeded());
  EXPECT_EQ(chain->outcome().exitStatus, 16);
  EXPECT_EQ(chain->outcome().keypad, KeypadHolds::Unchanged);
  EXPECT_EQ(Keypad().endCommands(), 1u);
}

TEST_F(ReadBackChain, BackupKeepsTheOldLayerAndAFailedBackupWritesNothing) {
  UseKeypad(LinkKind::Usb, {});
  host.choices.backupPath = "/backups/old.bin";
  // A fresh keypad: nothing to keep, and the download goes on.
  RunSession();
  EXPECT_EQ(JobLines(), (Lines{"Transfer in progress",
                               "Layer 1 holds no image: no backup written to /backups/old.bin",
                               "DOWNLOAD SUCCESSFUL"}));
  const Bytes first = BuiltImage();

  // The layer now holds the sample: the backup gets it before the new image.
  const TempDir dir;
  WriteFile(dir.path() + "other.pos", "<H>\n<DELAY 5>\n<01>xyz\n");
  host.choices.sourcePath = dir.path() + "other.pos";
  RunSession();
  EXPECT_EQ(JobLines(), (Lines{"Transfer in progress", "Layer 1 backed up to /backups/old.bin (607 bytes)",
                               "DOWNLOAD SUCCESSFUL"}));
  ASSERT_EQ(host.backups.size(), 1u);
  EXPECT_EQ(host.backups[0].second, first);

  host.backupFailure = "Unable to write the backup to /backups/old.bin: Permission denied";
  const std::size_t commandsBefore = Keypad().commands().size();
  RunSession();
  EXPECT_EQ(JobLines(), (Lines{"Transfer in progress", host.backupFailure}));
  EXPECT_EQ(chain->outcome().exitStatus, 10);
  EXPECT_EQ(chain->outcome().statusLine, host.backupFailure);
  EXPECT_FALSE(chain->LastDownloadSucceeded());
  const sim::KeypadModel held = Keypad();
  const auto& commands = held.commands();
  for (std::size_t i = commandsBefore; i + 1 < commands.size(); ++i)
    ASSERT_EQ(commands[i].kind, sim::KeypadCommand::Kind::Read) << "nothing was written";
  EXPECT_EQ(commands.back().kind, sim::KeypadCommand::Kind::End);
}

// A byte from nowhere during the verify pass makes every later answer lag;
// the pass is not believed, and the end command is not sent.
TEST_F(ReadBackChain, AnExtraByteDuringTheVerifyPassPutsTheAnswersOutOfStep) {
  sim::KeypadOptions options;
  options.extraBytesAfter = 100;  // read command 100: inside the pass
  UseKeypad(LinkKind::Rs232, options);
  host.choices.verify = true;
  RunSession();
  EXPECT_EQ(JobLines(), (Lines{"Transfer in progress", "Quintrel communication timeout",
                               pty->devicePath() + ": the keypad's answers came out of step"}));
  EXPECT_EQ(Keypad().endCommands(), 0u);
}

}  // namespace
}  // namespace lumivane::test
