// lumivane-cli as a script sees it: the exit statuses of its table, the
// detail line after each failure, and the window's settings read, never
// written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "ChannelErrorPrinter.h"
#include "CliRun.h"
#include "TestPaths.h"
#include "sim/PtyKeypad.h"

namespace lumivane::test {
namespace {

namespace fs = std::filesystem;

class CliCompanionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access((ProgramDir() + "lumivane-cli").c_str(), X_OK), 0) << "lumivane-cli is not built";
    ASSERT_TRUE(WriteFile(source, "<HEADER>\n<DELAY 5>\n<01>ab\n"));
  }
  CliRun Cli(const std::string& arguments, const std::string& program = ProgramDir() + "lumivane-cli",
             const std::string& environment = "") {
    return RunShell(environment + ShellQuote(program) + " " + arguments);
  }

  TempDir dir;
  const std::string source = dir.path() + "small.pos";
};

TEST_F(CliCompanionTest, ExitStatusesAndDetailLinesAsTheTableSays) {
  const std::string s = ShellQuote(source) + " ";
  const struct {
    std::string arguments;
    int status;
    std::string output;  // the whole output, or its start when it ends with "..."
  } cases[] = {
      {"download " + ShellQuote(dir.path() + "none.pos") + " --link rs232 --port /dev/null", 7,
       "Unable to open file for Download\n" + dir.path() + "none.pos: No such file or directory\n"},
      {"download " + s + "--link rs232 --port /no/such/port", 12,
       "Unable to open COM-port\n/no/such/port: No such file or directory\n"},
      {"download " + s + "--link RS232 --port /dev/null", 12,
       "Unable to open COM-port\n/dev/null: not a serial port (Inappropriate ioctl for device)\n"},
      {"download " + s + "--link pcat --port /no/such/event9", 12,
       "/no/such/event9: No such file or directory (name the keyboard's event node with Keyboard= in "
       "[Quintrel] of Lumivane.ini, or lumivane-cli --port)\n"},
      {"read --link rs232 --port /no/such/port --output " + ShellQuote(dir.path() + "r.bin"), 12,
       "Unable to open COM-port\n/no/such/port: No such file or directory\n"},
      {"download " + s + "--link rs232 --emulator Klingon", 8,
       "Unable to open the selected emulator\nNo layout Klingon: Klingon.emu is not in " + ProgramDir() +
           "\n"},
      {"download " + s + "--link serial", 2, "--link: serial not in {usb,rs232,pcat}..."},
      {"download " + s + "--link rs232 --wait 0", 2, "--wait: Value 0 not in range..."},
      {"download " + s + "--link rs232 --wait nan", 2, "--wait: Value nan is not a number..."},
      {"read --link rs232 --output r.bin --wait abc", 2, "--wait: Value abc is not a number..."},
      {"compare " + s + "--link rs232 --wait inf", 2, "--wait: Value inf not in range..."},
      {"download " + s, 2, "--link is required..."},
      {"", 2, "A subcommand is required..."},
      {"--help", 0, "Translates keypad configuration sources..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CliRun run = Cli(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    if (c.output.size() > 3 && c.output.compare(c.output.size() - 3, 3, "...") == 0) {
      EXPECT_EQ(run.output.rfind(c.output.substr(0, c.output.size() - 3), 0), 0u) << run.output;
    } else {
      EXPECT_EQ(run.output, c.output);
    }
  }
  // The help tells what every status means, what --port means, and how
  // the PC/AT link takes the keypad's answers.
  const std::string help = Cli("download --help").output;
  for (const char* part : {"Exit status:", "  12 ", "  13 ", "  17 ", "  rs232  a port name mapped in [Ports]",
                           "  pcat   the keyboard's event node", "a single Y", "without Enter"})
    EXPECT_NE(help.find(part), std::string::npos) << part;
}

// An installed copy, so that the settings come from $XDG_CONFIG_HOME as
// the window's do.
TEST_F(CliCompanionTest, ReadsTheWindowsSettingsAndNeverWritesThem) {
  fs::create_directories(dir.path() + "bin");
  const std::string program = dir.path() + "bin/lumivane-cli";
  fs::copy_file(ProgramDir() + "lumivane-cli", program);
  const std::string config = dir.path() + "config/";
  const std::string settings = config + "lumivane/Lumivane.ini";
  fs::create_directories(config + "lumivane");

  sim::PtyKeypad keypad({}, /*stopAfterEnd=*/true);
  ASSERT_EQ(ChannelError(), keypad.Start());
  const std::string ini = "[Quintrel]\r\nKeyboard=/no/such/kbd-node\r\n[Ports]\r\nCom7=" +
                          keypad.devicePath() + "\r\n";
  ASSERT_TRUE(WriteFile(settings, ini));
  ::chmod(settings.c_str(), 0444);
  const auto modified = fs::last_write_time(settings);
  const std::string environment = "HOME=" + ShellQuote(dir.path()) + " XDG_CONFIG_HOME=" + ShellQuote(config) +
                                  " XDG_DATA_HOME=" + ShellQuote(dir.path() + "data") + " ";
  const std::string emulator = " --emulator " + ShellQuote(SourceDir() + "/emulators/English_US.emu");
  const std::string s = ShellQuote(source) + emulator;

  // [Ports]: COM7 is the simulated keypad, as in the window.
  CliRun run = Cli("download " + s + " --link rs232 --port COM7", program, environment);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(keypad.WaitForEnd(std::chrono::seconds(5)));
  keypad.Stop();
  // Keyboard: the node of the PC/AT link, unless --port names another.
  run = Cli("download " + s + " --link pcat", program, environment);
  EXPECT_EQ(run.status, 12);
  EXPECT_EQ(run.output.rfind("/no/such/kbd-node: No such file or directory", 0), 0u) << run.output;
  run = Cli("download " + s + " --link pcat --port /no/such/other", program, environment);
  EXPECT_EQ(run.output.rfind("/no/such/other: ", 0), 0u) << run.output;

  EXPECT_EQ(ReadFile(settings), ini);
  EXPECT_EQ(fs::last_write_time(settings), modified);
  std::size_t entries = 0;
  for (const auto& entry : fs::recursive_directory_iterator(config)) entries += entry.exists();
  EXPECT_EQ(entries, 2u) << "only the folder and the settings file";
  // Without a settings file nothing is made either.
  const std::string fresh = dir.path() + "fresh/";
  Cli("download " + s + " --link rs232 --port COM7", program,
      "HOME=" + ShellQuote(dir.path()) + " XDG_CONFIG_HOME=" + ShellQuote(fresh) + " ");
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_FALSE(fs::exists(dir.path() + "data"));
  EXPECT_FALSE(fs::exists(dir.path() + "bin/Lumivane.ini"));
}

}  // namespace
}  // namespace lumivane::test
