// lumivane-cli download, run as its own process against the keypad simulator.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ChannelErrorPrinter.h"
#include "CliBackground.h"
#include "TestPaths.h"
#include "sim/LayerDecode.h"
#include "sim/PtyKeypad.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;

// lumivane-cli download, started in the background.
class CliProcess : public CliBackground {
 public:
  explicit CliProcess(const std::vector<std::string>& arguments, bool withStderr = false)
      : CliBackground(WithCommand(arguments), withStderr) {}

 private:
  static std::vector<std::string> WithCommand(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "download");
    return arguments;
  }
};

class CliDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access((ProgramDir() + "lumivane-cli").c_str(), X_OK), 0) << "lumivane-cli is not built";
    dir = temp.path();
    source = dir + "small.pos";
    WriteFile(source, "<HEADER>\n<DELAY 5>\n<01>ab\n<02>c\n");
  }
  TempDir temp;
  std::string dir, source;
};

TEST_F(CliDownloadTest, PrintsTheStatusLinesAndSucceedsAgainstTheSimulator) {
  sim::PtyKeypad keypad({}, /*stopAfterEnd=*/true);
  ASSERT_EQ(ChannelError(), keypad.Start());
  // Option values ignore letter case: this is the RS232 link, not USB.
  CliProcess cli({source, "--link", "RS232", "--port", keypad.devicePath(), "--layer", "2"});
  ASSERT_TRUE(cli.started());
  EXPECT_EQ(cli.ReadAll(), (Lines{"Press (shift+load) on the Quintrel to continue", "Transfer in progress",
                                  "DOWNLOAD SUCCESSFUL"}));
  EXPECT_EQ(cli.Wait(), 0);
  ASSERT_TRUE(keypad.WaitForEnd(std::chrono::seconds(5)));
  keypad.Stop();
  const sim::ReceivedLayer layer = sim::FindReceivedLayer(keypad.Snapshot());
  EXPECT_TRUE(layer.found);
  EXPECT_EQ(layer.layer, 2);
}

TEST_F(CliDownloadTest, AReaderThatGoesAwayDoesNotEndTheDownload) {
  sim::PtyKeypad keypad({}, /*stopAfterEnd=*/true);
  ASSERT_EQ(ChannelError(), keypad.Start());
  CliProcess cli({source, "--link", "rs232", "--port", keypad.devicePath()});
  std::string line;
  ASSERT_TRUE(cli.ReadLine(&line));
  cli.CloseOutput();
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_TRUE(keypad.WaitForEnd(std::chrono::seconds(5)));
}

TEST_F(CliDownloadTest, FailuresPrintTheirLineAndExitNonZero) {
  CliProcess missing({dir + "missing.pos", "--link", "rs232", "--port", "/dev/null-port"});
  EXPECT_EQ(missing.ReadAll(),
            (Lines{"Unable to open file for Download", dir + "missing.pos: No such file or directory"}));
  EXPECT_EQ(missing.Wait(), 7);

  CliProcess noPort({source, "--link", "rs232", "--port", dir + "no-such-port"});
  EXPECT_EQ(noPort.ReadAll(),
            (Lines{"Unable to open COM-port", dir + "no-such-port: No such file or directory"}));
  EXPECT_EQ(noPort.Wait(), 12);
}

TEST_F(CliDownloadTest, CtrlCWhileWaitingCancels) {
  sim::KeypadOptions options;
  options.silent = true;
  sim::PtyKeypad keypad(options);
  ASSERT_EQ(ChannelError(), keypad.Start());
  CliProcess cli({source, "--link", "rs232", "--port", keypad.devicePath()});
  std::string line;
  ASSERT_TRUE(cli.ReadLine(&line));
  EXPECT_EQ(line, "Press (shift+load) on the Quintrel to continue");
  cli.Interrupt();
  EXPECT_EQ(cli.ReadAll(), Lines{"Operation cancelled by user"});
  EXPECT_EQ(cli.Wait(), 130);
}

// Signals and the wait limit, against the simulator. Each scenario reads
// the output up to the line named, sends its signals (a second SIGINT only
// once the first one's warning is out, so the two cannot merge) and then
// expects the rest of the output and the exit status.
TEST_F(CliDownloadTest, SignalsAndTheWaitLimitEndTheDownloadAsTheyShould) {
  constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";
  constexpr const char* kTransfer = "Transfer in progress";
  constexpr const char* kCancelled = "Operation cancelled by user";
  constexpr const char* kIncomplete = "The Quintrel holds an incomplete image: download it again";
  constexpr const char* kWarning = "The transfer cannot be cancelled once it has begun";
  constexpr const char* kAgain =
      "Press Ctrl-C again to stop it anyway; the Quintrel then holds an incomplete image";
  const struct {
    const char* name;
    bool silentKeypad;
    std::vector<std::string> extraOptions;
    const char* signalAfter;  // the line after which the signals go; none when null
    std::vector<int> signals;
    Lines rest;  // the lines after signalAfter (all of them without signals)
    int status;
    bool endCommand;
  } cases[] = {
      {"SIGTERM while waiting", true, {}, kPress, {SIGTERM}, {kCancelled}, 143, false},
      {"wait limit", true, {"--wait", "0.3"}, nullptr, {},
       {kPress, kCancelled, "The wait limit of 0.3 s was reached"}, 13, false},
      {"two SIGINTs during the transfer", false, {}, kTransfer, {SIGINT, SIGINT},
       {kWarning, kAgain, kCancelled, kIncomplete}, 130, false},
      {"SIGTERM during the transfer", false, {}, kTransfer, {SIGTERM}, {kCancelled, kIncomplete}, 143,
       false},
      {"one SIGINT during the transfer goes on", false, {}, kTransfer, {SIGINT},
       {kWarning, kAgain, "DOWNLOAD SUCCESSFUL"}, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::KeypadOptions options;
    options.silent = c.silentKeypad;
    options.shiftLoadDelay = std::chrono::milliseconds(0);
    sim::PtyKeypad keypad(options);
    ASSERT_EQ(ChannelError(), keypad.Start());
    std::vector<std::string> arguments{source, "--link", "rs232", "--port", keypad.devicePath()};
    arguments.insert(arguments.end(), c.extraOptions.begin(), c.extraOptions.end());
    CliProcess cli(arguments, /*withStderr=*/true);
    ASSERT_TRUE(cli.started());
    if (c.signalAfter != nullptr) {
      std::string line;
      while (cli.ReadLine(&line) && line != c.signalAfter) {
      }
      ASSERT_EQ(line, c.signalAfter);
      for (std::size_t i = 0; i < c.signals.size(); ++i) {
        cli.Signal(c.signals[i]);
        if (i + 1 < c.signals.size()) {
          ASSERT_TRUE(cli.ReadLine(&line));
          ASSERT_EQ(line, kWarning);
          ASSERT_TRUE(cli.ReadLine(&line));
          ASSERT_EQ(line, kAgain);
        }
      }
    }
    Lines rest = cli.ReadAll();
    if (c.signals.size() > 1) rest.insert(rest.begin(), {kWarning, kAgain});
    EXPECT_EQ(rest, c.rest);
    EXPECT_EQ(cli.Wait(), c.status);
    // Whatever was sent is in the line by now; an end command arrives at once.
    EXPECT_EQ(keypad.WaitForEnd(std::chrono::milliseconds(c.endCommand ? 5000 : 300)), c.endCommand);
    keypad.Stop();
  }
}

}  // namespace
}  // namespace lumivane::test
