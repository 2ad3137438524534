// Stopping a download on the host's behalf: a signal or input that ended.
#include <gtest/gtest.h>

#include <functional>

#include "ChainFixture.h"
#include "sim/SimulatedHid.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";
constexpr const char* kCancelled = "Operation cancelled by user";
constexpr const char* kIncomplete = "The Quintrel holds an incomplete image: download it again";

TEST_F(ChainFixture, StopDuringTheTransferEndsAfterTheCurrentByteWithoutTheEndCommand) {
  // When to ask, seen from the host's check after each byte; the pointer
  // write to 0xFF65 puts two data bytes ahead of the image.
  const struct {
    const char* when;
    std::function<bool(const MemoryKeypadPort&, int length)> now;
  } cases[] = {
      {"first read", [](const MemoryKeypadPort& k, int) { return k.operations.size() == 1; }},
      {"in the key table", [](const MemoryKeypadPort& k, int) { return k.data.size() == 2 + 101; }},
      {"after the last image byte",
       [](const MemoryKeypadPort& k, int length) { return k.data.size() == 2u + length; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    keypad.operations.clear();
    keypad.data.clear();
    host.statusLines.clear();
    chain.reset();
    StartAndWait();
    keypad.answers.push_back(0xC0);
    std::size_t dataAtStop = 0, operationsAtStop = 0;
    host.onStopCheck = [&] {
      if (chain->StopRequested() || !c.now(keypad, chain->builder().imageLength())) return;
      dataAtStop = keypad.data.size();
      operationsAtStop = keypad.operations.size();
      chain->RequestStop({kCancelled});
      chain->RequestStop({"a later request does not count"});
    };
    host.Run(*chain);
    EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", kCancelled, kIncomplete}));
    EXPECT_GT(operationsAtStop, 0u) << "the stop was requested";
    EXPECT_EQ(keypad.data.size(), dataAtStop) << "nothing written after the stop";
    EXPECT_EQ(keypad.operations.size(), operationsAtStop);
    EXPECT_EQ(keypad.Count("end"), 0u);
    EXPECT_FALSE(chain->IsRunning());
    EXPECT_FALSE(chain->LastDownloadSucceeded());
    EXPECT_EQ(chain->state(), DownloadState::None);
    EXPECT_EQ(chain->outcome().keypad, KeypadHolds::Incomplete);
    EXPECT_EQ(chain->outcome().statusLine, kCancelled);
    EXPECT_EQ(chain->outcome().detail, kIncomplete);
    EXPECT_EQ(keypad.calls.back(), "close");
  }
}

TEST_F(ChainFixture, StopWhileWaitingEndsAtOnceWithTheGivenLines) {
  StartAndWait();
  host.Run(*chain, 3);
  chain->RequestStop({"Standard input ended"});
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Standard input ended"}));
  EXPECT_FALSE(chain->IsRunning());
  EXPECT_FALSE(host.timerRunning);
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].statusLine, "Standard input ended");
  EXPECT_EQ(host.outcomes[0].exitStatus, 13);
  EXPECT_TRUE(keypad.operations.empty());
  chain->RequestStop({kCancelled});  // nothing left to stop
  EXPECT_EQ(host.statusLines.size(), 2u);
}

TEST_F(ChainFixture, StopInsideAPcAtKeyWaitEndsTheReadAtOnce) {
  RecordingKeyboardLine line;
  keyboardLine = &line;
  host.choices.link = LinkKind::PcAt;
  StartAndWait();
  chain->OnYes();
  int waits = 0;
  const auto start = clock.Now();
  host.keySource = [&](std::chrono::milliseconds) {
    ++waits;
    chain->RequestStop({kCancelled});  // the signal arrives while the key is awaited
    return -1;
  };
  host.Run(*chain);
  EXPECT_EQ(waits, 1) << "no second key wait";
  EXPECT_LT(clock.Now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(line.settings.size(), 12u) << "one read command, nothing after it";
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", kCancelled, kIncomplete}));
  EXPECT_EQ(line.closes, 1);
}

TEST_F(ChainFixture, KeyboardLineThatRefusesTheFirstSettingEndsTheDownloadNamingTheNode) {
  RecordingKeyboardLine line;
  line.failing = true;
  keyboardLine = &line;
  host.choices.link = LinkKind::PcAt;
  StartAndWait();
  chain->OnYes();
  host.Run(*chain);
  EXPECT_EQ(line.attempts, 1) << "nothing more after the first refused setting";
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", "Quintrel communication timeout",
                                     "/dev/input/event3: the setting did not reach a keyboard"}));
  EXPECT_EQ(line.closes, 1);
}

TEST_F(ChainFixture, WaitLimitEndsTheWaitOnEveryLinkAndNoLimitWaitsOn) {
  sim::SimulatedHid hid(&clock);
  sim::KeypadOptions neverReady;
  neverReady.shiftLoadDelay.reset();
  hid.AddKeypad("/dev/hidraw3", neverReady);
  RecordingKeyboardLine line;
  const struct {
    LinkKind link;
    int limitMs;
    int ticks;  // of 200 ms, until the download ends (or the test gives up, at 50)
  } cases[] = {
      {LinkKind::Rs232, 3000, 15}, {LinkKind::Usb, 3000, 15}, {LinkKind::PcAt, 3000, 15},
      {LinkKind::Rs232, 2500, 13}, {LinkKind::Rs232, 0, 50},  {LinkKind::PcAt, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.link)) + " / " + std::to_string(c.limitMs));
    host.choices.link = c.link;
    host.choices.waitLimit = std::chrono::milliseconds(c.limitMs);
    hidBackend = &hid;
    keyboardLine = &line;
    host.statusLines.clear();
    chain.reset();
    StartAndWait();
    const int ticks = host.Run(*chain, 50);
    EXPECT_EQ(ticks, c.ticks);
    if (c.limitMs == 0) {
      EXPECT_TRUE(chain->IsRunning()) << "no limit: the wait goes on";
      EXPECT_EQ(host.timerRunning, c.link != LinkKind::PcAt);
      chain->CancelDownload();
      continue;
    }
    char limitLine[64];
    std::snprintf(limitLine, sizeof limitLine, "The wait limit of %g s was reached", c.limitMs / 1000.0);
    EXPECT_EQ(host.statusLines.back(), limitLine);
    EXPECT_EQ(host.statusLines.end()[-2], kCancelled);
    EXPECT_EQ(chain->outcome().exitStatus, 13) << "the wait ended";
    EXPECT_FALSE(chain->IsRunning());
    EXPECT_FALSE(host.timerRunning);
  }
}

}  // namespace
}  // namespace lumivane::test
