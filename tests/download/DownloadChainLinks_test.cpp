// The chain over the simulated USB keypad and the simulated PC/AT keyboard line.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

#include "ChainFixture.h"
#include "sim/LayerDecode.h"
#include "sim/SimulatedHid.h"
#include "link/EvdevKeyboardLine.h"
#include "sim/SimulatedKeyboardLine.h"
#include "sim/SimulatedKeyboardNode.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";

// ---- USB ----

class UsbChainTest : public ChainFixture {
 protected:
  UsbChainTest() : hid(&clock) {
    host.choices.link = LinkKind::Usb;
    hidBackend = &hid;
  }
  sim::SimulatedHid hid;
};

TEST_F(UsbChainTest, DownloadFindsTheKeypadWaitsForItAndWritesTheImage) {
  sim::KeypadOptions options;
  options.shiftLoadDelay = std::chrono::milliseconds(500);  // three ticks not ready
  sim::KeypadModel& keypad = hid.AddKeypad("/dev/hidraw3", options);
  StartAndWait();
  EXPECT_EQ(host.statusLines, (Lines{"Usb Quintrel detected", kPress}));
  // The identity request went out as data bytes 0xB0..0xB7.
  ASSERT_FALSE(hid.reports().empty());
  EXPECT_EQ(hid.reports()[0].bytes, (std::array<std::uint8_t, 9>{0, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7}));

  const int ticks = host.Run(*chain);
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(host.statusLines, (Lines{"Usb Quintrel detected", kPress, "Transfer in progress", "DOWNLOAD SUCCESSFUL"}));
  EXPECT_TRUE(chain->LastDownloadSucceeded());
  const sim::ReceivedLayer layer = sim::FindReceivedLayer(keypad);
  ASSERT_TRUE(layer.found);
  EXPECT_EQ(layer.layer, 1);
  EXPECT_EQ(layer.announced, chain->builder().imageLength());
  EXPECT_EQ(keypad.pendingWriteBytes(), 0u);
  EXPECT_TRUE(keypad.IsFinished());
  // The received image is the built one, apart from the relocated key table.
  const std::uint8_t* built = chain->builder().image();
  for (int i = chain->builder().tableSize(); i < chain->builder().imageLength(); ++i)
    ASSERT_EQ(keypad.Peek(static_cast<std::uint16_t>(layer.start + i)), built[i]) << i;
}

TEST_F(UsbChainTest, WrongIdentityAndMissingKeypad) {
  sim::KeypadOptions options;
  options.SetWrongIdentity();
  hid.AddKeypad("/dev/hidraw3", options);
  StartAndWait();
  host.Run(*chain);
  EXPECT_EQ(host.statusLines.end()[-2], "Wrong Device ID");
  EXPECT_EQ(LastLine(), "/dev/hidraw3: the keypad answered C0 C1 C2 C3 C4 C5 C6 C8, not C0 C1 C2 C3 "
                        "C4 C5 C6 C7");

  sim::SimulatedHid empty;
  hidBackend = &empty;
  chain.reset();
  host.statusLines.clear();
  StartAndWait();
  ASSERT_EQ(host.statusLines.size(), 2u);
  EXPECT_EQ(host.statusLines[0], "Usb Quintrel not detected");
  EXPECT_EQ(host.statusLines[1].rfind("No HID interface has the keypad's identity", 0), 0u);
  EXPECT_FALSE(host.timerRunning);
  EXPECT_FALSE(chain->IsRunning());
}

TEST_F(UsbChainTest, KeypadUnpluggedWhileWaitingEndsTheDownload) {
  sim::KeypadOptions options;
  options.shiftLoadDelay.reset();  // never ready by itself
  hid.AddKeypad("/dev/hidraw3", options);
  StartAndWait();
  host.Run(*chain, 3);
  hid.Unplug();
  host.Run(*chain);
  EXPECT_EQ(host.statusLines, (Lines{"Usb Quintrel detected", kPress, "Usb Quintrel not detected",
                                     "/dev/hidraw3: a feature report failed (the keypad was "
                                     "unplugged or stopped answering)"}));
  EXPECT_FALSE(chain->IsRunning());
  EXPECT_FALSE(host.timerRunning);
}

TEST_F(UsbChainTest, KeypadUnpluggedDuringTheTransferEndsWithTimeout) {
  sim::KeypadModel& keypad = hid.AddKeypad("/dev/hidraw3");
  StartAndWait();
  hid.UnplugAfterReports(40);
  host.Run(*chain);
  EXPECT_EQ(host.statusLines.end()[-2], "Quintrel communication timeout");
  EXPECT_EQ(LastLine(), "/dev/hidraw3: a feature report failed (the keypad was unplugged or stopped answering)");
  EXPECT_FALSE(keypad.IsFinished());
}

struct UsbFault {
  const char* name;
  bool fromTheStart;  // else from the wait for the keypad on
  std::size_t afterCalls;
  int moved;  // bytes a short call moves; -1: no short calls
  std::optional<sim::HidReportRecord::Kind> kind;
  std::optional<std::size_t> hangUpInEndCommand;
  Lines after;  // the lines after "Usb Quintrel detected"
};

TEST_F(UsbChainTest, ReportsThatMoveLessThanNineBytesOrADroppedKeypadNeverSucceed) {
  using Kind = sim::HidReportRecord::Kind;
  const std::string moved = "/dev/hidraw3: a feature report moved ";
  const Lines timeout{kPress, "Transfer in progress", "Quintrel communication timeout"};
  auto with = [](Lines lines, const std::string& detail) {
    lines.push_back(detail);
    return lines;
  };
  const UsbFault faults[] = {
      {"identity request short", true, 0, 0, Kind::Set, {}, {"Usb Quintrel not detected", moved + "0 of 9 bytes"}},
      {"short fetch while waiting", false, 0, 8, Kind::Get, {},
       {kPress, "Usb Quintrel not detected", moved + "8 of 9 bytes"}},
      {"fetches move nothing", false, 1, 0, Kind::Get, {}, with(timeout, moved + "0 of 9 bytes")},
      {"sends move part", false, 1, 5, Kind::Set, {}, with(timeout, moved + "5 of 9 bytes")},
      {"drop inside the end command", false, 0, -1, {}, 3,
       with(timeout, "/dev/hidraw3: a feature report failed (the keypad was unplugged or stopped answering)")},
  };
  for (const UsbFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    sim::SimulatedHid faulty(&clock);
    hidBackend = &faulty;
    chain.reset();
    host.statusLines.clear();
    sim::KeypadOptions options;
    options.hangUpInEndCommand = fault.hangUpInEndCommand;
    sim::KeypadModel& keypad = faulty.AddKeypad("/dev/hidraw3", options);
    auto shorten = [&] {
      if (fault.moved >= 0) faulty.ShortReportsAfter(fault.afterCalls, fault.moved, fault.kind);
    };
    if (fault.fromTheStart) shorten();
    StartAndWait();
    if (!fault.fromTheStart) shorten();
    host.Run(*chain);
    Lines expected{"Usb Quintrel detected"};
    expected.insert(expected.end(), fault.after.begin(), fault.after.end());
    EXPECT_EQ(host.statusLines, expected);
    EXPECT_FALSE(chain->LastDownloadSucceeded());
    EXPECT_FALSE(chain->IsRunning());
    EXPECT_FALSE(keypad.IsFinished());
    // Nothing was decided on the bytes of an earlier report.
    EXPECT_EQ(keypad.PeekPointer(sim::KeypadModel::kLayer1StartAddress), 0x0001);
  }
}

// ---- PC/AT ----

class PcAtChainTest : public ChainFixture {
 protected:
  PcAtChainTest() {
    host.choices.link = LinkKind::PcAt;
    std::array<char, 16> nibbles{};
    for (int i = 0; i < 16; ++i) nibbles[i] = static_cast<char>('A' + i);
    line = std::make_unique<sim::SimulatedKeyboardLine>(model, nibbles, Typer(), lineOptions,
                                                        &clock);
    keyboardLine = line.get();
    host.keySource = QueuedKeySource(typed, clock);
  }
  // The keypad types 'Y' at shift+load; the window turns it into "&Yes".
  void PressShiftLoad() {
    line->Poll();
    while (!typed.empty()) {
      const int key = typed.front();
      typed.pop_front();
      if (key == 'Y') chain->OnYes();
    }
  }

  sim::SimulatedKeyboardLine::KeyTyper Typer() {
    return [this](int key) { typed.push_back(key); };
  }

  sim::KeypadModel model;
  std::deque<int> typed;  // keys the keypad typed, not yet taken
  sim::KeyboardLineOptions lineOptions;
  std::unique_ptr<sim::SimulatedKeyboardLine> line;
};

TEST_F(PcAtChainTest, YesStartsTheTransferOverTheKeyboardLine) {
  StartAndWait();
  EXPECT_EQ(host.statusLines, Lines{kPress});
  EXPECT_TRUE(host.Called("phase:waiting:yes"));
  EXPECT_FALSE(host.timerRunning) << "no ready timer on this link";
  PressShiftLoad();
  chain->OnYes();  // a second press while the transfer is queued starts nothing more
  host.Run(*chain);
  EXPECT_EQ(LastLine(), "DOWNLOAD SUCCESSFUL");
  EXPECT_EQ(host.CallsStartingWith("post:transfer").size(), 1u);
  EXPECT_EQ(line->framingErrors(), 0u);
  EXPECT_FALSE(line->IsOpen()) << "released at the end";
  const sim::ReceivedLayer layer = sim::FindReceivedLayer(model);
  ASSERT_TRUE(layer.found);
  EXPECT_EQ(layer.announced, chain->builder().imageLength());
}

TEST_F(PcAtChainTest, SilentKeypadTimesOutAtTheFirstRead) {
  lineOptions.silent = true;
  line = std::make_unique<sim::SimulatedKeyboardLine>(model, std::array<char, 16>{}, Typer(),
                                                      lineOptions, &clock);
  keyboardLine = line.get();
  StartAndWait();
  chain->OnYes();
  host.Run(*chain);
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", "Quintrel communication timeout",
                                     "/dev/input/event3: no answer to a read of 0xFF63 within 2 s"}));
  // Version bytes: one unanswered read skips the second; the layer-1 start ends it.
  EXPECT_EQ(line->bytes().size(), 12u);
}

TEST_F(PcAtChainTest, KeyboardLineThatCannotBeOpenedNamesNodeAndReason) {
  lineOptions.openError = ChannelError(ChannelErrorKind::AccessDenied, EACCES);
  line = std::make_unique<sim::SimulatedKeyboardLine>(model, std::array<char, 16>{}, Typer(),
                                                      lineOptions, &clock);
  keyboardLine = line.get();
  StartAndWait();
  EXPECT_EQ(host.statusLines, Lines{"/dev/input/event3: Permission denied (grant access until the next "
                                    "reboot: sudo setfacl -m u:$USER:rw \"$(readlink -f /dev/input/event3)\")"});
  EXPECT_FALSE(chain->IsRunning());
  EXPECT_FALSE(host.Called("phase:waiting:yes"));
  EXPECT_EQ(chain->outcome().exitStatus, 12);
}

// A keyboard node whose driver keeps repeat settings in software, with
// no keypad behind it: refused before the prompt, well within 2 s.
TEST_F(PcAtChainTest, SoftRepeatNodeIsRefusedBeforeThePrompt) {
  auto owned = std::make_unique<sim::SimulatedKeyboardNode>(clock);
  sim::SimulatedKeyboardNode& node = *owned;
  node.softRepeat = true;
  node.rep = {500, 100};
  EvdevKeyboardLine evdev("/dev/input/event7", std::move(owned), clock, "/nonexistent-sysfs");
  keyboardLine = &evdev;
  const auto start = clock.Now();
  StartAndWait();
  EXPECT_LT(clock.Now() - start, std::chrono::seconds(2));
  EXPECT_EQ(host.statusLines,
            Lines{"/dev/input/event7: the repeat setting 500/99 ms was not rounded to the keyboard's 500/100 "
                  "ms, so it did not reach a keyboard; the PC/AT link needs a PS/2 keyboard without softrepeat"});
  EXPECT_FALSE(chain->IsRunning());
  EXPECT_EQ(chain->outcome().exitStatus, 12);
  EXPECT_FALSE(host.Called("phase:waiting:yes"));
  EXPECT_FALSE(node.open);
  EXPECT_EQ(node.rep, (RepeatSetting{500, 100}));
}

TEST_F(PcAtChainTest, CancelWhileWaitingForYes) {
  StartAndWait();
  chain->CancelDownload();
  EXPECT_EQ(LastLine(), "Operation cancelled by user");
  EXPECT_FALSE(line->IsOpen());
  EXPECT_EQ(host.outcomes.size(), 1u);
  PressShiftLoad();  // too late: nothing starts
  host.Run(*chain);
  EXPECT_TRUE(model.commands().empty());
}

}  // namespace
}  // namespace lumivane::test
