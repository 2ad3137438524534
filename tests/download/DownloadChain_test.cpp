#include "download/DownloadChain.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <cerrno>
#include <cstdint>

#include "ChainFixture.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";

// ---- The frame: translation outcomes, reporting, ending ----

TEST_F(ChainFixture, TranslationFailuresReportTheirLineAndRestoreTheControls) {
  host.choices.emulatorFile = "/nonexistent/None.emu";
  host.choices.sourcePath = "/nonexistent/missing.pos";
  StartAndWait();
  EXPECT_EQ(host.statusLines, (Lines{"Unable to open the selected emulator",
                                     "/nonexistent/None.emu: No such file or directory"}));
  // The report of the translation ends the run: no preparation, no wait.
  EXPECT_EQ(host.phases, (std::vector<DownloadPhase>{DownloadPhase::Translating, DownloadPhase::Ending,
                                                      DownloadPhase::Idle}));
  EXPECT_EQ(host.CallsStartingWith("activity:"), (Lines{"activity:busy", "activity:none"}));
  EXPECT_EQ(host.CallsStartingWith("detail:"), Lines{"detail:/nonexistent/None.emu: No such file or directory"});
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_EQ(host.outcomes[0].state, DownloadState::EmulatorUnavailable);
  EXPECT_EQ(host.outcomes[0].statusLine, "Unable to open the selected emulator");
  EXPECT_EQ(host.outcomes[0].detail, "/nonexistent/None.emu: No such file or directory");
  EXPECT_EQ(host.outcomes[0].exitStatus, 8);
  EXPECT_EQ(host.outcomes[0].keypad, KeypadHolds::Unchanged);
  EXPECT_FALSE(Chain().IsRunning());
  EXPECT_EQ(Chain().state(), DownloadState::EmulatorUnavailable);
  EXPECT_TRUE(keypad.calls.empty()) << "no port opened";

  host.calls.clear();
  host.statusLines.clear();
  host.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
  Chain().StartDownload();
  host.Run(*chain, 0);
  EXPECT_EQ(host.statusLines, (Lines{"Unable to open file for Download",
                                     "/nonexistent/missing.pos: No such file or directory"}));
}

TEST_F(ChainFixture, TranslationErrorShowsTheLineItStoppedAt) {
  const TempDir temp;
  const std::string dir = temp.path();
  WriteFile(dir + "bad.pos", "<HEADER>\r\n<DELAY 5>\r\n<01>ab\r\n<02>\r\n<OUT 0>\r\n");
  host.choices.sourcePath = dir + "bad.pos";
  StartAndWait();
  // The status line, then where and why (the source's file name only).
  ASSERT_GE(host.statusLines.size(), 2u);
  EXPECT_EQ(host.statusLines[host.statusLines.size() - 2], "Translation error for the specified line");
  EXPECT_EQ(LastLine(), "bad.pos:5:7: <OUT 0> sends nothing: an OUT number must be 1 to 255 (its low 8 "
                        "bits must not be 0)");
  EXPECT_EQ(host.CallsStartingWith("lines:").back(), "lines:00005");
  EXPECT_FALSE(Chain().IsRunning());
  EXPECT_FALSE(Chain().LastDownloadSucceeded());
}

TEST_F(ChainFixture, EveryEndTellsOneOutcomeAfterItsLines) {
  StartAndWait();
  keypad.answers.push_back(0xC0);
  host.Run(*chain);
  EXPECT_EQ(LastLine(), "DOWNLOAD SUCCESSFUL");
  EXPECT_EQ(host.calls.back(), "outcome");
  ASSERT_EQ(host.outcomes.size(), 1u);
  EXPECT_TRUE(host.outcomes.back().succeeded);
  EXPECT_EQ(host.outcomes.back().exitStatus, 0);
  EXPECT_EQ(host.outcomes.back().keypad, KeypadHolds::Complete);
  EXPECT_EQ(host.outcomes.back().verify, VerifyResult::NotRun) << "not chosen";

  host.calls.clear();
  host.choices.sourcePath = "/nonexistent/missing.pos";
  chain->StartDownload();
  host.Run(*chain);
  EXPECT_EQ(host.statusLines.end()[-2], "Unable to open file for Download");
  EXPECT_EQ(host.calls.back(), "outcome");
  EXPECT_EQ(host.outcomes.back().exitStatus, 7);

  host.calls.clear();
  host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
  chain->StartDownload();
  host.Run(*chain, 2);
  chain->CancelDownload();
  EXPECT_EQ(LastLine(), "Operation cancelled by user");
  EXPECT_EQ(host.calls.back(), "outcome");
  EXPECT_EQ(host.CallsStartingWith("outcome").size(), 1u);
  EXPECT_EQ(host.outcomes.back().statusLine, "Operation cancelled by user");
  EXPECT_FALSE(host.outcomes.back().succeeded);
  EXPECT_EQ(host.outcomes.back().keypad, KeypadHolds::Unchanged);
  EXPECT_EQ(host.outcomes.size(), 3u);
}

TEST_F(ChainFixture, StopDuringTranslationEndsAsCancelledAndOversizedLayoutSaysWhy) {
  host.onStopCheck = [this] { Chain().RequestStop({"Operation cancelled by user"}); };
  StartAndWait();
  EXPECT_EQ(host.statusLines, Lines{"Operation cancelled by user"});
  EXPECT_FALSE(Chain().IsRunning());
  EXPECT_EQ(host.CallsStartingWith("activity:").back(), "activity:none");
  EXPECT_TRUE(keypad.calls.empty()) << "no port opened";

  host.onStopCheck = nullptr;
  host.statusLines.clear();
  const TempDir temp;
  const std::string dir = temp.path();
  const std::string layout = dir + "Big.emu";
  WriteFile(layout, "a=28\n");
  ASSERT_EQ(truncate(layout.c_str(), 16 * 1024 * 1024 + 1), 0);
  host.choices.emulatorFile = layout;
  Chain().StartDownload();
  host.Run(*chain, 0);
  EXPECT_EQ(host.statusLines, (Lines{"Unable to open the selected emulator",
                                     "The emulator file " + layout + " is larger than 16 MiB"}));
}

// ---- RS232: preparation, wait, transfer ----

TEST_F(ChainFixture, SerialDownloadRunsFromIdentityToSuccess) {
  StartAndWait();
  EXPECT_EQ(host.statusLines, Lines{kPress});
  EXPECT_EQ(host.calls.back(), "timer:start:200");
  EXPECT_EQ(host.CallsStartingWith("activity:").back(), "activity:waiting");
  EXPECT_EQ(keypad.calls, (Lines{"open:/dev/fake-COM1", "setup:9600,8,0,0", "handshaking:0", "mask:1",
                                 "timeouts:1"}));
  ASSERT_EQ(keypad.writes.size(), 1u);
  EXPECT_EQ(keypad.writes[0], Bytes{0xB0});
  EXPECT_TRUE(host.Called("timer:start:200"));

  // Two ticks without an answer, then the keypad identifies itself.
  host.Run(*chain, 2);
  EXPECT_EQ(host.statusLines.size(), 1u);
  keypad.answers.push_back(0xC0);
  host.Run(*chain);

  EXPECT_EQ(host.statusLines, (Lines{kPress, "Transfer in progress", "DOWNLOAD SUCCESSFUL"}));
  EXPECT_TRUE(chain->LastDownloadSucceeded());
  EXPECT_FALSE(chain->IsRunning());
  EXPECT_FALSE(host.timerRunning);
  // The wait ends before the transfer's pass begins.
  const auto waitEnd = std::find(host.calls.begin(), host.calls.end(), "activity:none");
  EXPECT_LT(waitEnd, std::find(host.calls.begin(), host.calls.end(), "label:Transfer"));
  EXPECT_EQ(host.phases, (std::vector<DownloadPhase>{DownloadPhase::Translating, DownloadPhase::Preparing,
                                                      DownloadPhase::Waiting, DownloadPhase::Transferring,
                                                      DownloadPhase::Ending, DownloadPhase::Idle}));
  EXPECT_EQ(keypad.calls.back(), "close");

  const int length = chain->builder().imageLength();
  char text[16];
  std::snprintf(text, sizeof text, "bytes:%05d", length);
  EXPECT_EQ(host.CallsStartingWith("bytes:").back(), text);
  EXPECT_TRUE(host.Called("range:" + std::to_string(length)));
  EXPECT_EQ(host.CallsStartingWith("position:").back(), "position:" + std::to_string(length));
  // One at every fourth byte from 4 on, and the last.
  EXPECT_EQ(host.steps, length / 4 + (length % 4 != 0));
  // The image arrived at layer-1 start 0x0001.
  EXPECT_EQ(keypad.Pointer(0xFF65), length);
  EXPECT_EQ(keypad.memory[0x0001], 0x00);
  EXPECT_EQ(keypad.operations.back(), "end");
}

TEST_F(ChainFixture, WrongIdentityByteEndsWithWrongDeviceId) {
  StartAndWait();
  keypad.answers.push_back(0xC1);
  host.Run(*chain);
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Wrong Device ID",
                                     "COM1 (/dev/fake-COM1): the keypad answered 0xC1, not 0xC0"}));
  EXPECT_EQ(chain->state(), DownloadState::WrongDeviceId);
  EXPECT_TRUE(keypad.operations.empty()) << "no transfer";
  EXPECT_FALSE(chain->LastDownloadSucceeded());
}

TEST_F(ChainFixture, CancelWhileWaitingEndsAndAStaleTransferIsIgnored) {
  StartAndWait();
  EXPECT_EQ(host.Run(*chain, 5), 5) << "a silent keypad keeps the wait going";
  chain->CancelDownload();
  EXPECT_EQ(LastLine(), "Operation cancelled by user");
  EXPECT_EQ(host.CallsStartingWith("activity:"), (Lines{"activity:busy", "activity:none", "activity:waiting",
                                                        "activity:none"}));
  EXPECT_FALSE(host.timerRunning);
  EXPECT_EQ(keypad.calls.back(), "close");
  EXPECT_FALSE(chain->IsRunning());

  // The keypad answered, the transfer message was queued, then Cancel came.
  host.statusLines.clear();
  chain->StartDownload();
  host.Run(*chain, 0);
  keypad.answers.push_back(0xC0);
  chain->OnReadyTimer();
  ASSERT_EQ(host.queue.size(), 1u);
  chain->CancelDownload();
  host.Run(*chain);
  EXPECT_EQ(host.statusLines, (Lines{kPress, "Operation cancelled by user"}));
  EXPECT_TRUE(keypad.operations.empty()) << "the keypad was not touched";
}

TEST_F(ChainFixture, CancelCannotInterruptARunningTransfer) {
  StartAndWait();
  keypad.answers.push_back(0xC0);
  int attempts = 0;
  host.onStep = [&] {
    ++attempts;
    chain->CancelDownload();
    chain->OnYes();
    chain->StartDownload();
  };
  host.Run(*chain);
  EXPECT_GT(attempts, 0);
  EXPECT_EQ(LastLine(), "DOWNLOAD SUCCESSFUL");
  EXPECT_EQ(host.CallsStartingWith("phase:translating").size(), 1u);
  EXPECT_EQ(host.outcomes.size(), 1u);
}

TEST_F(ChainFixture, EachSerialSetUpFailureWritesItsLineAndEnds) {
  struct Case {
    ChannelError MemoryKeypadPort::*fail;
    const char* line;
  };
  const Case cases[] = {
      {&MemoryKeypadPort::failOpen, "Unable to open COM-port"},
      {&MemoryKeypadPort::failSetup, "Unable to set COM-port setting"},
      {&MemoryKeypadPort::failHandshaking, "Unable to set COM-port handshaking"},
      {&MemoryKeypadPort::failMask, "Unable to set COM-port event mask"},
      {&MemoryKeypadPort::failTimeouts, "Unable to set COM-port read timeout."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    keypad.failOpen = keypad.failSetup = keypad.failHandshaking = keypad.failMask = keypad.failTimeouts = {};
    keypad.*c.fail = ChannelError(ChannelErrorKind::NotFound, ENOENT);
    host.statusLines.clear();
    keypad.calls.clear();
    StartAndWait();
    EXPECT_EQ(host.statusLines, (Lines{c.line, "COM1 (/dev/fake-COM1): No such file or directory"}));
    EXPECT_EQ(keypad.calls.back(), "close");
    EXPECT_FALSE(host.timerRunning);
    EXPECT_FALSE(chain->IsRunning());
  }
}

TEST_F(ChainFixture, SerialLineLostBeforeOrDuringTheWaitEndsWithTimeoutAndItsReason) {
  struct Case {
    std::size_t writesBeforeFailure;  // 0: the identity request is refused
    ChannelError lineFailure;         // set once the download waits
    Lines lines;
  };
  const Case cases[] = {
      {0, {}, {"Quintrel communication timeout", "COM1 (/dev/fake-COM1): Input/output error"}},
      {SIZE_MAX, ChannelError(ChannelErrorKind::HungUp, EIO),
       {kPress, "Quintrel communication timeout", "COM1 (/dev/fake-COM1): the line was hung up"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.back());
    chain.reset();
    host.statusLines.clear();
    keypad.writesBeforeFailure = c.writesBeforeFailure;
    keypad.lineFailure = {};
    StartAndWait();
    keypad.lineFailure = c.lineFailure;
    host.Run(*chain, 1);
    EXPECT_EQ(host.statusLines, c.lines);
    EXPECT_EQ(chain->state(), DownloadState::Timeout);
    EXPECT_FALSE(chain->IsRunning());
    EXPECT_FALSE(host.timerRunning);
  }
  EXPECT_EQ(keypad.writeTimeouts, std::vector<std::uint32_t>{2002}) << "the identity request's limit";
}

TEST_F(ChainFixture, LinksWithoutSupportAreRefused) {
  host.choices.link = LinkKind::Modem;
  StartAndWait();
  EXPECT_EQ(host.statusLines, (Lines{"Link option selected is not supported",
                                     "Modem is not supported: choose USB, RS232 or PC/AT"}));
  EXPECT_FALSE(chain->IsRunning());
}

}  // namespace
}  // namespace lumivane::test
