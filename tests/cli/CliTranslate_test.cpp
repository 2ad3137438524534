#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "CliRun.h"
#include "TestPaths.h"
#include "translator/ImageBuilder.h"

namespace lumivane::test {
namespace {

using CliResult = CliRun;

// `shellPrefix` runs in the same shell first (limits, signal dispositions).
CliResult RunCli(const std::string& arguments, const std::string& shellPrefix = "") {
  return RunShell(shellPrefix + ShellQuote(ProgramDir() + "lumivane-cli") + " " + arguments);
}

class CliTranslateTest : public ::testing::Test {
 protected:
  TempDir temp;
  const std::string dir = temp.path();
};

TEST_F(CliTranslateTest, SampleTranslatesWithTheDefaultLayoutFromTheProgramDirectory) {
  const std::string image = dir + "out.bin";
  const CliResult result =
      RunCli("translate " + ShellQuote(ProgramDir() + "Kt90NewConfig.pos") + " --output " +
             ShellQuote(image) + " --listing");
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(result.output.rfind("Lines Translated: 00023\nHeader delay: 20\n", 0), 0u)
      << result.output;
  // Exactly the image the builder makes from the same files.
  ImageBuilder builder;
  ASSERT_EQ(builder.Translate({ProgramDir() + "Kt90NewConfig.pos", ProgramDir() + "English_US.emu",
                               "120", false}),
            DownloadState::ImageReady);
  EXPECT_EQ(ReadFile(image),
            std::string(reinterpret_cast<const char*>(builder.image()), builder.imageLength()));
}

TEST_F(CliTranslateTest, FailuresExitWithTheStateAndPrintItsLine) {
  const std::string source = dir + "bad.pos";
  WriteFile(source, "<HEADER>\n<DELAY 1>\n\n<OUT 256>");
  CliResult result = RunCli("translate " + ShellQuote(source) + " --output " + ShellQuote(dir + "x.bin"));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "Lines Translated: 00004\nTranslation error for the specified line\n" + source +
                               ":4:9: error: <OUT 256> sends nothing: an OUT number must be 1 to 255 (its low "
                               "8 bits must not be 0)\n");
  EXPECT_TRUE(ReadFile(dir + "x.bin").empty());

  result = RunCli("translate " + ShellQuote(dir + "none.pos"));
  EXPECT_EQ(result.status, 7);
  EXPECT_EQ(result.output, "Lines Translated: 00001\nUnable to open file for Download\n" + dir +
                               "none.pos: No such file or directory\n");

  result = RunCli("translate " + ShellQuote(source) + " --emulator No_Such_Layout");
  EXPECT_EQ(result.status, 8);
  EXPECT_EQ(result.output, "Lines Translated: 00001\nUnable to open the selected emulator\nNo layout "
                           "No_Such_Layout: No_Such_Layout.emu is not in " + ProgramDir() + "\n");

  // A layout file given directly, lacking letters for the PC/AT nibble keys.
  const std::string layout = dir + "tiny.emu";
  WriteFile(layout, "a=28\nb=50\nENTER=90\n");
  WriteFile(source, "<HEADER>\n<DELAY 1>\n<690>ab");
  EXPECT_EQ(RunCli("translate " + ShellQuote(source) + " --emulator " + ShellQuote(layout) +
                   " --keys 360 --output " + ShellQuote(dir + "y.bin"))
                .status,
            0);
  EXPECT_EQ(ReadFile(dir + "y.bin").size(), 1383u + 4);
  EXPECT_EQ(RunCli("translate " + ShellQuote(source) + " --emulator " + ShellQuote(layout) +
                   " --keys 360 --link pcat")
                .status,
            8);
  EXPECT_EQ(RunCli("translate " + ShellQuote(source) + " --link serial").status, 2);
}

TEST_F(CliTranslateTest, OutputNeverOverwritesAnInputWhateverPathNamesIt) {
  const std::string sample = ReadFile(ProgramDir() + "Kt90NewConfig.pos");
  const std::string layout = ReadFile(ProgramDir() + "English_US.emu");
  WriteFile(dir + "S.pos", sample);
  WriteFile(dir + "E.emu", layout);
  ASSERT_EQ(link((dir + "S.pos").c_str(), (dir + "hard.pos").c_str()), 0);
  ASSERT_EQ(symlink("E.emu", (dir + "soft.emu").c_str()), 0);
  const std::string inputs = ShellQuote(dir + "S.pos") + " --emulator " + ShellQuote(dir + "E.emu");
  for (const std::string& output : {dir + "S.pos", dir + "./S.pos", dir + "hard.pos", dir + "E.emu",
                                    dir + "soft.emu"}) {
    const CliResult result = RunCli("translate " + inputs + " --output " + ShellQuote(output));
    EXPECT_EQ(result.status, 11) << output;
    EXPECT_NE(result.output.find("Unable to write the image to " + output + ": it is the "),
              std::string::npos) << result.output;
  }
  EXPECT_EQ(ReadFile(dir + "S.pos"), sample);
  EXPECT_EQ(ReadFile(dir + "E.emu"), layout);
}

TEST_F(CliTranslateTest, FailedOutputLeavesTheOldFileAsItWas) {
  const std::string output = dir + "image.bin";
  WriteFile(output, "previous image");
  // The 360-key image is larger than the 1 KiB the file size limit allows.
  const CliResult result = RunCli("translate " + ShellQuote(ProgramDir() + "Kt90NewConfig.pos") +
                                      " --keys 360 --output " + ShellQuote(output),
                                  "trap '' XFSZ; ulimit -f 1; ");
  EXPECT_EQ(result.status, 10) << result.output;
  EXPECT_EQ(ReadFile(output), "previous image");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);

  EXPECT_EQ(RunCli("translate " + ShellQuote(ProgramDir() + "Kt90NewConfig.pos") + " --output /dev/null").status, 0);
  struct stat info {};
  EXPECT_TRUE(stat("/dev/null", &info) == 0 && S_ISCHR(info.st_mode));
}

TEST_F(CliTranslateTest, OversizedEmulatorNamesItselfAfterTheStatusLine) {
  const std::string layout = dir + "Huge.emu";
  WriteFile(layout, "a=28\n");
  ASSERT_EQ(truncate(layout.c_str(), 16 * 1024 * 1024 + 1), 0);
  const CliResult result =
      RunCli("translate " + ShellQuote(ProgramDir() + "Kt90NewConfig.pos") + " --emulator " + ShellQuote(layout));
  EXPECT_EQ(result.status, 8);
  EXPECT_EQ(result.output, "Lines Translated: 00001\nUnable to open the selected emulator\n"
                           "The emulator file " + layout + " is larger than 16 MiB\n");
}

TEST_F(CliTranslateTest, OptionValuesIgnoreLetterCaseEverywhere) {
  // A layout lacking letters for the nibble keys: only the PC/AT link refuses it.
  const std::string layout = dir + "tiny.emu";
  WriteFile(layout, "a=28\nb=50\nENTER=90\n");
  const std::string source = dir + "s.pos";
  WriteFile(source, "<HEADER>\n<DELAY 1>\n<01>ab");
  const struct {
    std::string options;
    int status;
  } cases[] = {
      {"--emulator " + ShellQuote(layout) + " --link PCAT", 8},
      {"--emulator " + ShellQuote(layout) + " --link PcAt", 8},
      {"--emulator " + ShellQuote(layout) + " --link USB", 0},
      {"--emulator english_us --link Rs232", 0},
      {"--emulator ENGLISH_UK", 0},
      {"--emulator No_Such_Layout", 8},
  };
  for (const auto& c : cases) {
    const CliResult result = RunCli("translate " + ShellQuote(source) + " " + c.options);
    EXPECT_EQ(result.status, c.status) << c.options << "\n" << result.output;
  }
}

}  // namespace
}  // namespace lumivane::test
