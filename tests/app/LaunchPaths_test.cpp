#include "app/LaunchPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestPaths.h"

namespace lumivane {
namespace {

TEST(LaunchPathsTest, SettingsFileSitsNextToTheExecutableAndIsNeverIt) {
  LaunchPaths paths = LaunchPathsForExecutable("/opt/lumivane/Lumivane");
  EXPECT_EQ(paths.programDirectory, "/opt/lumivane/");
  EXPECT_EQ(paths.executableName, "Lumivane");
  EXPECT_EQ(paths.settingsPath, "/opt/lumivane/Lumivane.ini");

  // Whatever the executable is called, the settings keep their own name...
  EXPECT_EQ(LaunchPathsForExecutable("/x/LUMIVANE.EXE").settingsPath, "/x/Lumivane.ini");
  // ...and an executable named like the settings file is not overwritten.
  LaunchPaths clash = LaunchPathsForExecutable("/x/Lumivane.ini");
  EXPECT_NE(clash.settingsPath, "/x/Lumivane.ini");
  EXPECT_EQ(clash.programDirectory, "/x/");
}

TEST(LaunchPathsTest, ResolvesRelativeAndLinkedLaunchPathsToTheRealDirectory) {
  const test::TempDir temp;
  const std::string dir = temp.path();
  std::string real = dir + "real/";
  ASSERT_EQ(mkdir(real.c_str(), 0755), 0);
  ASSERT_TRUE(test::WriteFile(real + "Lumivane", "#!"));
  ASSERT_EQ(symlink((real + "Lumivane").c_str(), (dir + "link").c_str()), 0);

  // Launched through a symbolic link: the settings go beside the real file.
  LaunchPaths viaLink = ResolveLaunchPaths(dir + "link", "/nonexistent");
  EXPECT_EQ(viaLink.programDirectory, real);
  EXPECT_EQ(viaLink.executableName, "Lumivane");

  // No directory in argv[0] (found on PATH): the self link decides.
  LaunchPaths viaPath = ResolveLaunchPaths("Lumivane", dir + "link");
  EXPECT_EQ(viaPath.settingsPath, real + "Lumivane.ini");

  // A relative launch path with a directory part.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  LaunchPaths relative = ResolveLaunchPaths("./real/Lumivane", "/nonexistent");
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(relative.programDirectory, real);
}

TEST(LaunchPathsTest, RunningTestBinaryResolvesThroughProcSelfExe) {
  LaunchPaths paths = ResolveLaunchPaths("app_tests");
  ASSERT_FALSE(paths.programDirectory.empty());
  EXPECT_EQ(paths.programDirectory.front(), '/');
  EXPECT_EQ(paths.programDirectory.back(), '/');
  EXPECT_EQ(paths.settingsPath, paths.programDirectory + "Lumivane.ini");
}

}  // namespace
}  // namespace lumivane
