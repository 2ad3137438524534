// What lumivane-cli shows on a terminal besides the status lines: the
// seconds waited for shift+load, and each pass's progress.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "LinkFakes.h"
#include "ManualClock.h"
#include "TestPaths.h"
#include "cli/CliHost.h"
#include "download/DownloadChain.h"

namespace lumivane::test {
namespace {

std::string Contents(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[512];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

TEST(CliHostLines, TheWaitCountsSecondsAndGivesWayToTheStatusLines) {
  int keys[2];  // the keypad types nothing, and the input stays open
  ASSERT_EQ(pipe(keys), 0);
  std::FILE* out = std::tmpfile();
  std::FILE* terminal = std::tmpfile();
  DownloadChoices choices;
  choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
  choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
  choices.link = LinkKind::PcAt;
  choices.waitLimit = std::chrono::milliseconds(2500);
  RecordingKeyboardLine line;
  ManualClock clock;
  LinkChannels channels;
  channels.keyboardLine = &line;
  channels.clock = &clock;
  CliHost host(choices, out, keys[0], /*interruptFd=*/-1, clock, terminal);
  DownloadChain chain(host.driver(), channels, SourceDir() + "/emulators/");
  host.Run(chain);

  EXPECT_EQ(Contents(out), "Press (shift+load) on the Quintrel to continue\nOperation cancelled by user\n"
                           "The wait limit of 2.5 s was reached\n");
  const std::string wait = "\rWaiting for shift+load on the Quintrel: ";
  EXPECT_EQ(Contents(terminal), wait + "0 s\x1b[K" + wait + "1 s\x1b[K" + wait + "2 s\x1b[K\r\x1b[K");
  std::fclose(out);
  std::fclose(terminal);
  close(keys[0]);
  close(keys[1]);
}

TEST(CliHostLines, ProgressShowsBytesPercentRateAndTimeLeft) {
  ManualClock clock;
  std::FILE* out = std::tmpfile();
  std::FILE* terminal = std::tmpfile();
  CliHost host({}, out, -1, -1, clock, terminal);
  host.OnProgress({ProgressPass::Transfer, 0, 470, true});
  const struct {
    int afterMs;
    int position;
    const char* shown;  // the line drawn, empty when none is due
  } steps[] = {
      {0, 4, "Transfer: 4/470 bytes, 0%"},               // no rate yet
      {50, 8, ""},                                       // too soon after the last line
      {950, 100, "Transfer: 100/470 bytes, 21%, 100 B/s, 4 s left"},
      {100000, 120, "Transfer: 120/470 bytes, 25%, 1 B/s, 4 min 55 s left"},
      {1, 470, "Transfer: 470/470 bytes, 100%, 5 B/s"},  // the last one, however soon
  };
  std::string expected;
  for (const auto& step : steps) {
    clock.Advance(std::chrono::milliseconds(step.afterMs));
    host.OnProgress({ProgressPass::Transfer, static_cast<std::uint32_t>(step.position), 470, false});
    if (*step.shown != '\0') expected += std::string("\r") + step.shown + "\x1b[K";
    EXPECT_EQ(Contents(terminal), expected) << step.position;
  }
  // A status line keeps the last figures on their line; a second pass starts afresh.
  host.OnLine("DOWNLOAD SUCCESSFUL", LineKind::Status);
  host.OnProgress({ProgressPass::Verify, 0, 609, true});
  host.OnProgress({ProgressPass::Verify, 0, 609, false});
  EXPECT_EQ(Contents(terminal), expected + "\n\rVerify: 0/609 bytes, 0%\x1b[K");
  EXPECT_EQ(Contents(out), "DOWNLOAD SUCCESSFUL\n");
  // The end of the download ends the line; the counter's reset shows nothing.
  host.OnPhase({DownloadPhase::Ending, DownloadPhase::Idle, false});
  host.OnProgress({ProgressPass::Verify, 0, 609, false});
  EXPECT_EQ(Contents(terminal), expected + "\n\rVerify: 0/609 bytes, 0%\x1b[K\n");
  std::fclose(out);
  std::fclose(terminal);

  // Without a terminal nothing is shown.
  std::FILE* plain = std::tmpfile();
  CliHost quiet({}, plain, -1, -1, clock, nullptr);
  quiet.OnProgress({ProgressPass::Transfer, 0, 470, true});
  quiet.OnProgress({ProgressPass::Transfer, 470, 470, false});
  quiet.OnActivity(DownloadActivity::Waiting);
  EXPECT_EQ(Contents(plain), "");
  std::fclose(plain);
}

}  // namespace
}  // namespace lumivane::test
