// The choice between the portable and the installed layout, the emulator
// search order, and where settings are written.
#include "app/FileLayout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestPaths.h"
#include "app/EmulatorFiles.h"
#include "app/StartupChoices.h"

namespace lumivane {
namespace {

using Strings = std::vector<std::string>;

// An installed tree below a temporary folder: <root>usr/bin/ holds the
// executable, <root>usr/share/lumivane/ the data, <root>home/ is $HOME.
class FileLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"usr/bin", "usr/share/lumivane/emulators", "home"}) {
      std::filesystem::create_directories(root_ + folder);
    }
  }

  void Put(const std::string& relative, const std::string& bytes = "a=28\n") {
    std::filesystem::create_directories(std::filesystem::path(root_ + relative).parent_path());
    ASSERT_TRUE(test::WriteFile(root_ + relative, bytes));
  }
  LaunchPaths Choose(UserEnvironment environment = {}) {
    if (environment.home.empty()) environment.home = home_;
    return ChooseFileLayout(LaunchPathsForExecutable(bin_ + "Lumivane"), environment);
  }

  test::TempDir tempDir_;
  std::string root_ = tempDir_.path();
  std::string bin_ = root_ + "usr/bin/";
  std::string data_ = root_ + "usr/share/lumivane/";
  std::string home_ = root_ + "home";
};

TEST_F(FileLayoutTest, SettingsOrEmulatorsBesideTheExecutableKeepItPortable) {
  const struct {
    const char* name;
    std::string besideFile;  // relative to the program directory; empty for none
    FileMode mode;
  } cases[] = {
      {"settings file", "Lumivane.ini", FileMode::Portable},
      {"emulator file", "Swiss.emu", FileMode::Portable},
      {"nothing", "", FileMode::Installed},
      {"unrelated files", "notes.txt", FileMode::Installed},
      {"folder named like a layout", "Old.emu/x", FileMode::Installed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(bin_);
    std::filesystem::create_directories(bin_);
    if (!c.besideFile.empty()) Put("usr/bin/" + c.besideFile);
    const LaunchPaths paths = Choose();
    EXPECT_EQ(paths.mode, c.mode);
    EXPECT_EQ(paths.programDirectory, bin_);
    if (c.mode == FileMode::Portable) {
      EXPECT_EQ(paths.settingsPath, bin_ + "Lumivane.ini");
      EXPECT_EQ(paths.emulatorDirectories, Strings{bin_});
      EXPECT_EQ(paths.sampleDirectory, bin_);
    } else {
      EXPECT_EQ(paths.settingsPath, home_ + "/.config/lumivane/Lumivane.ini");
      EXPECT_EQ(paths.emulatorDirectories,
                (Strings{home_ + "/.local/share/lumivane/emulators/", data_ + "emulators/"}));
      EXPECT_EQ(paths.sampleDirectory, data_);
    }
  }
}

TEST_F(FileLayoutTest, InstalledFoldersFollowTheXdgVariables) {
  const struct {
    UserEnvironment environment;
    std::string settings, userEmulators;  // empty: none
  } cases[] = {
      {{"/h", "", ""}, "/h/.config/lumivane/Lumivane.ini", "/h/.local/share/lumivane/emulators/"},
      {{"/h//", "/cfg/", "/dat"}, "/cfg/lumivane/Lumivane.ini", "/dat/lumivane/emulators/"},
      // Relative values are ignored, as the XDG rules say.
      {{"/h", "cfg", "dat"}, "/h/.config/lumivane/Lumivane.ini", "/h/.local/share/lumivane/emulators/"},
      {{"relative", "", "/dat"}, "", "/dat/lumivane/emulators/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment.home + " " + c.environment.xdgConfigHome + " " + c.environment.xdgDataHome);
    const LaunchPaths paths = ChooseFileLayout(LaunchPathsForExecutable(bin_ + "Lumivane"), c.environment);
    // Without a usable home the settings stay beside the executable.
    EXPECT_EQ(paths.settingsPath, c.settings.empty() ? bin_ + "Lumivane.ini" : c.settings);
    Strings expected = {data_ + "emulators/"};
    if (!c.userEmulators.empty()) expected.insert(expected.begin(), c.userEmulators);
    EXPECT_EQ(paths.emulatorDirectories, expected);
  }
}

TEST_F(FileLayoutTest, UserLayoutsComeFirstAndTheListShowsBothFolders) {
  const std::string user = "home/.local/share/lumivane/emulators/";
  Put(user + "German.emu");
  Put(user + "Mine.emu");
  Put(user + "german.emu");
  Put(user + ".emu");
  Put(user + "readme.txt");
  Put("usr/share/lumivane/emulators/German.emu");
  Put("usr/share/lumivane/emulators/English_US.emu");
  Put("usr/share/lumivane/emulators/Odd.emu/inside");
  const LaunchPaths paths = Choose();
  ASSERT_EQ(paths.mode, FileMode::Installed);

  EXPECT_EQ(EmulatorListItems(paths), (Strings{"English_US", "German", "german", "Mine"}));
  const struct {
    std::string name, found;
  } cases[] = {
      {"German", root_ + user + "German.emu"},
      {"English_US", data_ + "emulators/English_US.emu"},
      // Ignoring case only when no folder has the exact name.
      {"english_us", data_ + "emulators/English_US.emu"},
      {"MINE", root_ + user + "Mine.emu"},
      {"Klingon", root_ + user + "Klingon.emu"},
  };
  for (const auto& c : cases) EXPECT_EQ(EmulatorFileFor(c.name, paths.emulatorDirectories), c.found) << c.name;
  EXPECT_EQ(EmulatorPathFor("./German.emu", paths.emulatorDirectories), "./German.emu");

  // Portable: the fixed list, whatever the folder holds.
  Put("usr/bin/Mine.emu");
  EXPECT_EQ(EmulatorListItems(Choose()), EmulatorNames());
}

TEST_F(FileLayoutTest, SettingsGoOnlyToTheChosenFile) {
  // Installed: the first write creates the folders (0700) in the home folder.
  const LaunchPaths installed = Choose();
  const SettingsStore store = SettingsStoreFor(installed);
  RestoreChoices(store, installed.sampleDirectory, std::string("/x/new.pos"));
  EXPECT_EQ(test::ReadFile(installed.settingsPath), "[Quintrel]\nFileToDownload=/x/new.pos\n");
  struct stat info {};
  ASSERT_EQ(stat((home_ + "/.config/lumivane").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(std::filesystem::is_empty(bin_));
  EXPECT_EQ(RestoreChoices(store, installed.sampleDirectory, std::nullopt).sourcePath, "/x/new.pos");
  EXPECT_EQ(RestoreChoices(SettingsStoreFor(Choose({home_ + "/other", "", ""})), installed.sampleDirectory,
                           std::nullopt).sourcePath,
            data_ + kDefaultSourceName);

  // Portable: beside the executable, never in the home folder.
  std::filesystem::remove_all(home_);
  Put("usr/bin/Lumivane.ini", "");
  const LaunchPaths portable = Choose();
  EXPECT_TRUE(SettingsStoreFor(portable).Write(kSettingsSection, settings_key::kKeys, "360"));
  EXPECT_EQ(test::ReadFile(bin_ + "Lumivane.ini"), "[Quintrel]\nKeys=360\n");
  EXPECT_FALSE(std::filesystem::exists(home_));
}

}  // namespace
}  // namespace lumivane
