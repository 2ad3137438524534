// lumivane-cli station and station-report as a script sees them: what is
// refused before any keypad is armed, and the report of a log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "CliRun.h"
#include "TestPaths.h"
#include "station/StationRecord.h"

namespace lumivane::test {
namespace {

class CliStationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(WriteFile(source, "<HEADER>\n<DELAY 5>\n<01>ab\n")); }
  CliRun Cli(const std::string& arguments) { return RunShell(ShellQuote(ProgramDir() + "lumivane-cli") + " " + arguments); }

  TempDir dir;
  const std::string source = dir.path() + "small.pos";
};

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
