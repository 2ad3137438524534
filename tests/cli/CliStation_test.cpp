// lumivane-cli station and station-report as a script sees them: what is
// refused before any keypad is armed, a station over simulator
// pseudo-terminals to its Ctrl-C and to its kill, and the report of a log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "CliBackground.h"
#include "CliRun.h"
#include "TestPaths.h"
#include "sim/PtyKeypad.h"
#include "station/Sha256.h"
#include "station/StationLog.h"
#include "station/StationRecord.h"

namespace lumivane::test {
namespace {

class CliStationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(WriteFile(source, "<HEADER>\n<DELAY 5>\n<01>ab\n")); }
  CliRun Cli(const std::string& arguments) { return RunShell(ShellQuote(ProgramDir() + "lumivane-cli") + " " + arguments); }
  // A station over RS232 on these keypads' lines, logging to `log`.
  std::vector<std::string> StationOn(const std::vector<const sim::PtyKeypad*>& keypads,
                                     std::vector<std::string> more = {}) {
    std::vector<std::string> arguments{"station", source, "--link", "rs232", "--log", log};
    for (const sim::PtyKeypad* keypad : keypads) {
      arguments.push_back("--port");
      arguments.push_back(keypad->devicePath());
    }
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  }
  // The station's lines up to the outcome of each of these lines' keypads.
  static std::vector<std::string> LinesToOutcomes(CliBackground& station, std::vector<std::string> ports) {
    std::vector<std::string> lines;
    std::string line;
    while (!ports.empty() && station.ReadLine(&line)) {
      lines.push_back(line);
      std::erase_if(ports, [&](const std::string& port) {
        return line.starts_with(port + ": PASS") || line.starts_with(port + ": FAIL");
      });
    }
    return lines;
  }
  static StationLogContents Logged(const std::string& path) {
    StationLogContents contents;
    LogFailure failure;
    EXPECT_TRUE(ReadStationLog(path, &contents, &failure)) << failure.Text();
    return contents;
  }

  TempDir dir;
  const std::string source = dir.path() + "small.pos";
  const std::string log = dir.path() + "station.log";
};

std::unique_ptr<sim::PtyKeypad> StartedKeypad(sim::KeypadOptions options = {}) {
  auto keypad = std::make_unique<sim::PtyKeypad>(std::move(options));
  EXPECT_EQ(ChannelError(), keypad->Start());
  return keypad;
}

// Two keypads at once, one with a stuck byte; Ctrl-C ends the station with
// the summary, and 18 for the keypad that failed.
TEST_F(CliStationTest, ServesTheKeypadsOfSeveralLinesUntilCtrlC) {
  const CliRun translated = Cli("translate " + ShellQuote(source) + " --output " + ShellQuote(dir.path() + "x.bin"));
  ASSERT_EQ(translated.status, 0) << translated.output;
  const std::string image = ReadFile(dir.path() + "x.bin");
  sim::KeypadOptions stuck;
  stuck.stuckBytes = {0x0004};
  const auto sound = StartedKeypad();
  const auto faulty = StartedKeypad(stuck);
  CliBackground station(StationOn({sound.get(), faulty.get()}));
  ASSERT_TRUE(station.started());
  std::vector<std::string> lines = LinesToOutcomes(station, {sound->devicePath(), faulty->devicePath()});
  station.Interrupt();
  const std::vector<std::string> rest = station.ReadAll();
  lines.insert(lines.end(), rest.begin(), rest.end());
  EXPECT_EQ(station.Wait(), 18);

  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Image: " + std::to_string(image.size()) + " bytes, SHA-256 " +
                               Sha256Hex(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
  EXPECT_THAT(lines, ::testing::Contains(::testing::StartsWith(sound->devicePath() + ": PASS")));
  EXPECT_THAT(lines, ::testing::Contains(faulty->devicePath() + ": FAIL: Verify failed at 0x0004: wrote 0x01, "
                                                                "read 0xFF (1 byte differs)"));
  EXPECT_THAT(lines, ::testing::Contains(sound->devicePath() + ": waiting for shift+load"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.end()[-2], "Stopping: no more keypads are armed");
  EXPECT_THAT(lines.back(), ::testing::StartsWith("Station: 1 passed, 1 failed, "));
  const StationLogContents logged = Logged(log);
  ASSERT_EQ(logged.records.size(), 2u);
  for (const StationRecord& record : logged.records) EXPECT_EQ(record.length, image.size());
  sound->Stop();
  faulty->Stop();
}

// Killed outright after an outcome: the log holds that outcome whole, and
// the next station appends after it.
TEST_F(CliStationTest, TheLogSurvivesAKillOfTheStation) {
  sim::KeypadOptions neverPressed;
  neverPressed.shiftLoadDelay.reset();
  const auto sound = StartedKeypad();
  const auto waiting = StartedKeypad(neverPressed);
  {
    CliBackground station(StationOn({sound.get(), waiting.get()}));
    LinesToOutcomes(station, {sound->devicePath()});
    station.Signal(SIGKILL);
    EXPECT_EQ(station.Wait(), -1);
  }
  StationLogContents logged = Logged(log);
  ASSERT_EQ(logged.records.size(), 1u);
  EXPECT_EQ(logged.records[0].slot, sound->devicePath());
  EXPECT_EQ(logged.records[0].result, "pass");
  EXPECT_TRUE(logged.warnings.empty());

  const auto next = StartedKeypad();
  CliBackground again(StationOn({next.get()}, {"--count", "1"}));
  again.ReadAll();
  EXPECT_EQ(again.Wait(), 0) << "ends by itself once one has passed";
  logged = Logged(log);
  ASSERT_EQ(logged.records.size(), 2u);
  EXPECT_EQ(logged.records[1].slot, next->devicePath());
  for (sim::PtyKeypad* keypad : {sound.get(), waiting.get(), next.get()}) keypad->Stop();
}

TEST_F(CliStationTest, RefusesBeforeAnyKeypadIsArmed) {
  ASSERT_EQ(0, ::mkfifo((dir.path() + "fifo").c_str(), 0600));
  const std::string s = "station " + ShellQuote(source) + " ";
  const CliRun translated = Cli("translate " + ShellQuote(source) + " --output " + ShellQuote(dir.path() + "x.bin"));
  ASSERT_EQ(translated.status, 0) << translated.output;
  const std::string image = "Image: " + std::to_string(ReadFile(dir.path() + "x.bin").size()) + " bytes, SHA-256 ";
  const struct {
    std::string arguments;
    int status;
    std::string output;  // the whole output, or its start when it ends with "..."
  } cases[] = {
      {s + "--link rs232", 2, "lumivane-cli station: --link rs232 needs a --port for each slot\n"},
      {s + "--link usb --port COM1", 2, "lumivane-cli station: --port is not used on usb: every keypad plugged in is a slot\n"},
      {s + "--link rs232 --port COM1 --port /dev/ttyS0", 2,
       "lumivane-cli station: --port /dev/ttyS0 names a line already given: one slot per line\n"},
      {s + "--link pcat", 2, "--link: pcat not in {usb,rs232}..."},
      {s + "--link usb --count 0", 2, "--count: Value 0 not in range..."},
      {"station " + ShellQuote(dir.path() + "none.pos") + " --link usb", 7,
       "Unable to open file for Download\n" + dir.path() + "none.pos: No such file or directory\n"},
      {s + "--link usb --emulator Klingon", 8, "Unable to open the selected emulator\nNo layout Klingon..."},
      // The log is checked after the image is known, before any keypad.
      {s + "--link usb --log " + ShellQuote(dir.path() + "fifo"), 10,
       image + "...Unable to write the log to " + dir.path() + "fifo: not a regular file (a FIFO)\n"},
      {s + "--link usb --log " + ShellQuote(dir.path() + "no/such.log"), 10, image + "..."},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
    const std::string::size_type dots = c.output.find("...");
    if (dots == std::string::npos) {
      EXPECT_EQ(run.output, c.output) << c.arguments;
    } else {
      EXPECT_EQ(run.output.substr(0, dots), c.output.substr(0, dots)) << c.arguments;
      const std::string tail = c.output.substr(dots + 3);
      EXPECT_EQ(run.output.substr(run.output.size() - std::min(run.output.size(), tail.size())), tail) << c.arguments;
    }
  }
}

TEST_F(CliStationTest, ReportSumsALogAndSkipsItsUnfinishedLine) {
  const std::string log = dir.path() + "station.log";
  StationRecord record;
  record.slot = "usb-0:1:1.0";
  record.sha256 = std::string(64, 'c');
  record.length = 9;
  record.result = "pass";
  std::string text = RecordLine(record) + "\n";
  record.result = "fail";
  text += RecordLine(record) + "\n" + RecordLine(record).substr(0, 30);
  ASSERT_TRUE(WriteFile(log, text));

  const CliRun report = Cli("station-report " + ShellQuote(log) + " --format CSV");
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(report.output, "warning: " + log + ":3: the last line is incomplete (the station stopped while writing it); skipped\n"
                           "kind,slot,sha256,length,passed,failed\n"
                           "slot,usb-0:1:1.0,,,1,1\n"
                           "total,,,,1,1\n"
                           "image,," + std::string(64, 'c') + ",9,1,1\n");

  ASSERT_EQ(0, ::mkfifo((dir.path() + "fifo").c_str(), 0600));
  const CliRun unreadable = Cli("station-report " + ShellQuote(dir.path() + "fifo"));
  EXPECT_EQ(unreadable.status, 19);
  EXPECT_EQ(unreadable.output, "Unable to read the log " + dir.path() + "fifo: not a regular file (a FIFO)\n");
}

}  // namespace
}  // namespace lumivane::test
