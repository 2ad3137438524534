// lumivane-cli download --verify/--backup, read and compare, run as their
// own processes against the keypad simulator on a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ChannelErrorPrinter.h"
#include "CliRun.h"
#include "TestPaths.h"
#include "link/StoredImage.h"
#include "sim/PtyKeypad.h"
#include "translator/ImageBuilder.h"

namespace lumivane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

using CliResult = CliRun;

CliResult RunCli(const std::string& arguments) {
  return RunShell(ShellQuote(ProgramDir() + "lumivane-cli") + " " + arguments);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliReadBackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access((ProgramDir() + "lumivane-cli").c_str(), X_OK), 0) << "lumivane-cli is not built";
    WriteFile(dir.path() + "small.pos", "<HEADER>\n<DELAY 5>\n<01>ab\n<02>c\n");
    ASSERT_EQ(RunCli("translate " + ShellQuote(sample) + " --output " + ShellQuote(dir.path() + "sample.bin")).status, 0);
    translated = ReadFile(dir.path() + "sample.bin");
    ASSERT_EQ(RunCli("translate " + ShellQuote(small) + " --output " + ShellQuote(dir.path() + "small.bin")).status, 0);
    smallLength = ReadFile(dir.path() + "small.bin").size();
  }

  // A keypad that holds the sample in `layer`, placed at `base`.
  sim::KeypadOptions HoldingTheSample(int layer, std::uint16_t base) const {
    sim::KeypadOptions options;
    options.memory.assign(65536, 0xFF);
    const Bytes image(translated.begin(), translated.end());
    const Bytes stored = RelocateImage(image.data(), image.size(), kKeyTableEnd120, base);
    std::copy(stored.begin(), stored.end(), options.memory.begin() + base);
    const std::uint16_t last = static_cast<std::uint16_t>(base + stored.size() - 1);
    const std::uint16_t pointers[4] = {layer == 1 ? base : std::uint16_t{0x0001},
                                       layer == 1 ? last : std::uint16_t{0x0000},
                                       layer == 2 ? base : std::uint16_t{0x8000},
                                       layer == 2 ? last : std::uint16_t{0xFEFF}};
    for (int i = 0; i < 4; ++i) {
      options.memory[0xFF63 + 2 * i] = static_cast<std::uint8_t>(pointers[i] >> 8);
      options.memory[0xFF64 + 2 * i] = static_cast<std::uint8_t>(pointers[i] & 0xFF);
    }
    return options;
  }

  std::string Link(const sim::PtyKeypad& keypad) const {
    return " --link rs232 --port " + ShellQuote(keypad.devicePath());
  }

  TempDir dir;
  const std::string sample = ProgramDir() + "Kt90NewConfig.pos";
  const std::string small = dir.path() + "small.pos";
  std::string translated;
  std::size_t smallLength = 0;
};

TEST_F(CliReadBackTest, ReadGivesWhatTranslateWroteAndCompareTellsEqualFromDifferent) {
  const struct {
    const char* name;
    int layer;
    std::uint16_t base;
  } cases[] = {{"layer 1", 1, 0x0001}, {"layer 1 at 0x6001", 1, 0x6001}, {"layer 2", 2, 0xFEFF - 606}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::PtyKeypad keypad(HoldingTheSample(c.layer, c.base));
    ASSERT_EQ(ChannelError(), keypad.Start());
    const std::string layer = " --layer " + std::to_string(c.layer);
    const std::string out = dir.path() + "read.bin";
    CliResult result = RunCli("read" + Link(keypad) + layer + " --output " + ShellQuote(out));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(ReadFile(out), translated);
    // --raw: the bytes as the keypad holds them; --listing as translate prints it.
    result = RunCli("read" + Link(keypad) + layer + " --raw --listing --output " + ShellQuote(out));
    EXPECT_EQ(result.status, 0) << result.output;
    const std::string raw = ReadFile(out);
    const sim::KeypadModel held = keypad.Snapshot();
    EXPECT_EQ(Bytes(raw.begin(), raw.end()),
              Bytes(held.memory().begin() + c.base, held.memory().begin() + c.base + 607));
    const std::string listing = RunCli("translate " + ShellQuote(sample) + " --listing").output;
    EXPECT_TRUE(Contains(result.output, listing.substr(listing.find('\n') + 1))) << result.output;
    EXPECT_EQ(RunCli("compare " + ShellQuote(sample) + Link(keypad) + layer).status, 0);
    result = RunCli("compare " + ShellQuote(small) + Link(keypad) + layer);
    EXPECT_EQ(result.status, 15) << result.output;
    for (const char* line : {"holds another image than", "Header delay: 5 in the source, 20 on the Quintrel",
                             "Keys whose data differ: 1, 2", "Keys defined only on the Quintrel: 3, 4,"})
      EXPECT_TRUE(Contains(result.output, line)) << line << "\n" << result.output;
    keypad.Stop();
    const sim::KeypadModel after = keypad.Snapshot();
    for (const sim::KeypadCommand& command : after.commands())
      EXPECT_NE(command.kind, sim::KeypadCommand::Kind::Write) << "read and compare write nothing";
  }
}

// A 120-key image read with a 360-key table would show the data bytes
// after key 230 as keys of their own.
TEST_F(CliReadBackTest, KeyCountsThatDifferAreToldWithoutPhantomKeys) {
  sim::PtyKeypad keypad(HoldingTheSample(1, 0x0001));
  ASSERT_EQ(ChannelError(), keypad.Start());
  const std::string out = dir.path() + "read.bin";
  const struct {
    std::string command;
    int status;
    std::vector<std::string> lines;
  } cases[] = {
      {"compare " + ShellQuote(sample) + " --keys 360", 15,
       {"holds another image than", "Key table: 360 keys in the source, 120 on the Quintrel\n",
        "Length: 1527 bytes in the source, 607 on the Quintrel (-920)\n",
        "The keys are not compared: the Quintrel's image has the 120-key table, the source was translated "
        "for 360 keys\n"}},
      {"read --keys 360 --output " + ShellQuote(out), 16,
       {"Layer 1 holds an image with the 120-key table, not one for 360 keys (--keys 360)\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const CliResult result = RunCli(c.command + Link(keypad));
    EXPECT_EQ(result.status, c.status) << result.output;
    for (const std::string& line : c.lines) EXPECT_TRUE(Contains(result.output, line)) << line << result.output;
    EXPECT_FALSE(Contains(result.output, "Keys ")) << result.output;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(RunCli("read --keys 120 --output " + ShellQuote(out) + Link(keypad)).status, 0);
  EXPECT_EQ(ReadFile(out), translated);
}

TEST_F(CliReadBackTest, AnEmptyLayerIsRefusedAndTheOutputStaysAsItWas) {
  sim::PtyKeypad keypad;
  ASSERT_EQ(ChannelError(), keypad.Start());
  const std::string out = dir.path() + "kept.bin";
  WriteFile(out, "old");
  for (const char* layer : {"1", "2"}) {
    const CliResult result =
        RunCli(std::string("read") + Link(keypad) + " --layer " + layer + " --output " + ShellQuote(out));
    EXPECT_EQ(result.status, 16) << result.output;
    EXPECT_TRUE(Contains(result.output, std::string("Layer ") + layer + " holds no image: ")) << result.output;
    EXPECT_EQ(ReadFile(out), "old");
  }
  EXPECT_EQ(RunCli("compare " + ShellQuote(sample) + Link(keypad)).status, 16);
  EXPECT_TRUE(keypad.WaitForEnd(std::chrono::seconds(5))) << "each ends with the end command";
}

TEST_F(CliReadBackTest, VerifyPassesOnASoundKeypadAndNamesAFaultyCell) {
  // Key 1's entry (image byte 3) lies at 0x0004: 0x01 written over 0xFF.
  // The small source keeps the downloads short.
  sim::KeypadOptions faulty;
  faulty.stuckBytes = {0x0004};
  const struct {
    const char* name;
    sim::KeypadOptions keypad;
    std::string options;
    int status;
    std::string line;
    bool writes;
  } cases[] = {
      {"sound keypad", {}, " --verify", 0,
       "Verified " + std::to_string(smallLength + 2) + " bytes\nDOWNLOAD SUCCESSFUL\n", true},
      {"faulty cell", faulty, " --verify", 14, "Verify failed at 0x0004: wrote 0x01, read 0xFF (1 byte differs)\n",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::PtyKeypad keypad(c.keypad);
    ASSERT_EQ(ChannelError(), keypad.Start());
    const CliResult result = RunCli("download " + ShellQuote(small) + Link(keypad) + c.options);
    EXPECT_EQ(result.status, c.status) << result.output;
    EXPECT_TRUE(Contains(result.output, c.line)) << result.output;
    EXPECT_TRUE(keypad.WaitForEnd(std::chrono::seconds(5))) << "the end command follows";
    keypad.Stop();
    bool wrote = false;
    const sim::KeypadModel after = keypad.Snapshot();
    for (const sim::KeypadCommand& command : after.commands())
      wrote = wrote || command.kind == sim::KeypadCommand::Kind::Write;
    EXPECT_EQ(wrote, c.writes);
  }
}

TEST_F(CliReadBackTest, RefusalsComeBeforeAnythingIsSent) {
  sim::PtyKeypad keypad;
  ASSERT_EQ(ChannelError(), keypad.Start());
  const struct {
    std::string arguments;
    int status;
    const char* line;
  } cases[] = {
      {"download " + ShellQuote(sample) + " --link pcat --port /dev/null --verify", 17,
       "--verify on the PC/AT link reads every byte back, about 11 minutes for 609 bytes: confirm on a "
       "terminal, or give --yes"},
      {"download " + ShellQuote(sample) + Link(keypad) + " --backup " + ShellQuote(sample), 11,
       "Unable to write the backup to "},
  };
  for (const auto& c : cases) {
    const CliResult result = RunCli(c.arguments);
    EXPECT_EQ(result.status, c.status) << result.output;
    EXPECT_TRUE(Contains(result.output, c.line)) << result.output;
  }
  keypad.Stop();
  EXPECT_EQ(keypad.Snapshot().identityRequests(), 0u);
}

TEST_F(CliReadBackTest, OutputsThatCannotBeWrittenAreRefusedBeforeTheKeypadIsTouched) {
  sim::PtyKeypad keypad(HoldingTheSample(1, 0x0001));
  ASSERT_EQ(ChannelError(), keypad.Start());
  const std::string d = dir.path();
  ASSERT_EQ(mkfifo((d + "fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((d + "folder").c_str(), 0700), 0);
  ASSERT_EQ(symlink((d + "fifo").c_str(), (d + "to-fifo").c_str()), 0);
  const struct {
    std::string path;
    const char* reason;
  } targets[] = {
      {d + "fifo", "not a regular file"},       {d + "folder", "not a regular file"},
      {d + "to-fifo", "not a regular file"},    {"/dev/null", "not a regular file"},
      {d + "no/such/b.bin", "No such file or directory"},
  };
  for (const auto& target : targets) {
    for (const std::string& command : {"download " + ShellQuote(small) + " --backup ", std::string("read --output ")}) {
      SCOPED_TRACE(command + target.path);
      const char* what = command[0] == 'd' ? "the backup" : "the image";
      // Standard error alone; the limit keeps a regression from hanging the test.
      const CliResult result = RunShell("{ timeout -k 1 10 " + ShellQuote(ProgramDir() + "lumivane-cli") + " " +
                                        command + ShellQuote(target.path) + Link(keypad) + " 2>&1 >/dev/null; }");
      EXPECT_EQ(result.status, 10);
      EXPECT_EQ(result.output,
                std::string("Unable to write ") + what + " to " + target.path + ": " + target.reason + "\n");
    }
  }
  keypad.Stop();
  EXPECT_EQ(keypad.Snapshot().identityRequests(), 0u);
}

// No file may grow (ulimit -f 0, its signal ignored), so the write fails
// only once the session has read the layer: the failure still goes to
// standard error, and the status log on standard output has no line for it.
TEST_F(CliReadBackTest, AnOutputThatFailsDuringTheSessionIsReportedOnStandardError) {
  const std::string target = dir.path() + "layer.bin";
  const struct {
    std::string command;
    std::string errors;
    std::string log;
  } cases[] = {
      {"download " + ShellQuote(small) + " --backup " + ShellQuote(target),
       "Unable to write the backup to " + target + ": File too large\n",
       "Press (shift+load) on the Quintrel to continue\nTransfer in progress\n"},
      {"read --output " + ShellQuote(target), "Unable to write the image to " + target + ": File too large\n",
       "Press (shift+load) on the Quintrel to continue\nRead in progress\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    sim::PtyKeypad keypad(HoldingTheSample(1, 0x0001));
    ASSERT_EQ(ChannelError(), keypad.Start());
    const std::string cli = "trap '' XFSZ; ulimit -f 0; timeout -k 1 20 " + ShellQuote(ProgramDir() + "lumivane-cli") +
                            " " + c.command + Link(keypad);
    const CliResult errors = RunShell("{ " + cli + " 2>&1 >/dev/null; }");
    EXPECT_EQ(errors.status, 10);
    EXPECT_EQ(errors.output, c.errors);
    EXPECT_EQ(RunShell("{ " + cli + " 2>/dev/null; }").output, c.log);
    keypad.Stop();
    const sim::KeypadModel after = keypad.Snapshot();
    for (const sim::KeypadCommand& command : after.commands())
      EXPECT_NE(command.kind, sim::KeypadCommand::Kind::Write);
    EXPECT_FALSE(std::filesystem::exists(target));
  }
}

}  // namespace
}  // namespace lumivane::test
