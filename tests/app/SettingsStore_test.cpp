#include "app/SettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "TestPaths.h"

namespace lumivane {
namespace {

using test::ReadFile;
using test::WriteFile;

class SettingsStoreTest : public ::testing::Test {
 protected:
  test::TempDir temp_;
  std::string dir_ = temp_.path();
  std::string path_ = dir_ + "Lumivane.ini";
  SettingsStore store_{path_};
};

TEST_F(SettingsStoreTest, MissingFileSectionOrKeyGivesDefaultAndCreatesNothing) {
  EXPECT_EQ(store_.Read("Quintrel", "Keys", "120"), "120");
  EXPECT_TRUE(store_.ReadSection("Ports").empty());
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);

  ASSERT_TRUE(WriteFile(path_, "[Other]\nKeys=360\n[Quintrel]\nLayer=2\n"));
  EXPECT_EQ(store_.Read("Quintrel", "Keys", "120"), "120");
  EXPECT_EQ(store_.Read("Missing", "Layer", "1"), "1");
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseValuesAreTrimmedAndEmptyValueCounts) {
  ASSERT_TRUE(WriteFile(path_,
                        "; comment=ignored\r\n[ quintrel ]\r\n  emulation =  English_UK  \r\n"
                        "FileToDownload=\r\nEditor=\"code --wait\"\r\nEmulation=Second\r\n"));
  EXPECT_EQ(store_.Read("QUINTREL", "EMULATION", "x"), "English_UK");
  EXPECT_EQ(store_.Read("Quintrel", "FileToDownload", "default"), "");
  EXPECT_EQ(store_.Read("Quintrel", "Editor", ""), "code --wait");
  EXPECT_EQ(store_.Read("Quintrel", "; comment", "none"), "none");
}

TEST_F(SettingsStoreTest, ValuesAreCutAt259Characters) {
  std::string longValue(300, 'a');
  longValue[258] = 'b';
  ASSERT_TRUE(store_.Write("Quintrel", "FileToDownload", longValue));
  std::string read = store_.Read("Quintrel", "FileToDownload", "");
  EXPECT_EQ(read.size(), 259u);
  EXPECT_EQ(read.back(), 'b');
  EXPECT_EQ(store_.ReadSection("Quintrel").at("FileToDownload").size(), 259u);
}

TEST_F(SettingsStoreTest, FirstWriteCreatesFileWithSection) {
  ASSERT_TRUE(store_.Write("Quintrel", "Layer", "2"));
  EXPECT_EQ(ReadFile(path_), "[Quintrel]\nLayer=2\n");
}

TEST_F(SettingsStoreTest, WriteKeepsEveryOtherLineAsItWas) {
  const std::string before =
      "; Lumivane settings\r\n[Ports]\r\nCOM1 = /dev/ttyUSB0\r\n\r\n[quintrel]\r\n"
      "keys=120\r\n; keep me\r\nLayer=1\r\n\r\n[Tail]\r\nx=y";
  ASSERT_TRUE(WriteFile(path_, before));

  ASSERT_TRUE(store_.Write("Quintrel", "Keys", "360"));
  ASSERT_TRUE(store_.Write("Quintrel", "Emulation", "French"));
  ASSERT_TRUE(store_.Write("NewSection", "A", "1"));

  EXPECT_EQ(ReadFile(path_),
            "; Lumivane settings\r\n[Ports]\r\nCOM1 = /dev/ttyUSB0\r\n\r\n[quintrel]\r\n"
            "Keys=360\r\n; keep me\r\nLayer=1\r\nEmulation=French\r\n\r\n[Tail]\r\nx=y\r\n"
            "[NewSection]\r\nA=1\r\n");
}

TEST_F(SettingsStoreTest, WriteCannotInjectLinesAndLeavesNoTemporaryFiles) {
  ASSERT_TRUE(store_.Write("Quintrel", "FileToDownload", "a.pos\nExecRun=Auto"));
  EXPECT_EQ(store_.Read("Quintrel", "ExecRun", "Manual"), "Manual");
  EXPECT_EQ(store_.Read("Quintrel", "FileToDownload", ""), "a.pos");
  EXPECT_EQ(ReadFile(path_), "[Quintrel]\nFileToDownload=a.pos\n");
  // Only the settings file itself is in the directory.
  EXPECT_EQ(system(("test $(ls -A " + dir_ + " | wc -l) -eq 1").c_str()), 0);
}

TEST_F(SettingsStoreTest, WriteKeepsFileModeAndFollowsSymbolicLink) {
  std::string target = dir_ + "real.ini";
  ASSERT_TRUE(WriteFile(target, "[Quintrel]\nKeys=120\n"));
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);

  ASSERT_TRUE(store_.Write("Quintrel", "Keys", "360"));

  struct stat info {};
  ASSERT_EQ(lstat(path_.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadFile(target), "[Quintrel]\nKeys=360\n");
}

TEST_F(SettingsStoreTest, FailedWriteReportsFalseAndKeepsFile) {
  SettingsStore unwritable(dir_ + "missing-dir/Lumivane.ini");
  EXPECT_FALSE(unwritable.Write("Quintrel", "Keys", "360"));
}

TEST_F(SettingsStoreTest, ReadSectionGivesFirstOccurrenceOfEachKey) {
  ASSERT_TRUE(WriteFile(path_, "[ports]\nCOM1=/dev/ttyUSB0\nCOM1=/dev/other\nCOM2 = /dev/ttyACM0\n"
                               "[Quintrel]\nCOM3=/dev/no\n"));
  auto ports = store_.ReadSection("Ports");
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports.at("COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(ports.at("COM2"), "/dev/ttyACM0");
}

}  // namespace
}  // namespace lumivane
