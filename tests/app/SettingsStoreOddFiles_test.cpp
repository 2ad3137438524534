// The settings store against odd files: unreadable or read-only files,
// symbolic links to files, devices and FIFOs, foreign owners, bare CRs,
// writers racing in two processes and writers killed mid-write.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "TestPaths.h"
#include "app/SettingsStore.h"

namespace lumivane {
namespace {

using test::ReadFile;
using test::WriteFile;

constexpr const char* kSettings = "[Ports]\nCOM1=/dev/ttyUSB0\n[Quintrel]\nKeys=120\n";

class SettingsOddFilesTest : public ::testing::Test {
 protected:
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // Runs `body` in a child process as an ordinary user: "nobody" when the
  // test runs as root (whose permission checks refuse nothing), the test's
  // own user otherwise. The files it needs are handed over first.
  static bool AsOrdinaryUser(const std::vector<std::string>& handOver, const std::function<bool()>& body) {
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() != 0 || nobody == nullptr) return body();
    for (const std::string& path : handOver) {
      if (lchown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) return false;
    }
    const pid_t child = fork();
    if (child == 0) {
      const bool dropped = setgroups(0, nullptr) == 0 && setgid(nobody->pw_gid) == 0 &&
                           setuid(nobody->pw_uid) == 0;
      _exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
  }

  test::TempDir temp_;
  std::string dir_ = temp_.path();
  std::string path_ = dir_ + "Lumivane.ini";
  SettingsStore store_{path_};
};

TEST_F(SettingsOddFilesTest, FileTheUserMayNotReadOrWriteIsNeverReplaced) {
  struct Case {
    const char* name;
    mode_t mode;
    ReplaceFailure expected;
  };
  const Case cases[] = {
      {"write-only", 0200, ReplaceFailure::Unreadable},
      {"read-only", 0444, ReplaceFailure::NotWritable},
      {"no permissions", 0000, ReplaceFailure::NotWritable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFile(path_, kSettings));
    ASSERT_EQ(chmod(path_.c_str(), c.mode), 0);
    const std::string settingsPath = path_;
    const ReplaceFailure expected = c.expected;
    EXPECT_TRUE(AsOrdinaryUser({dir_, path_}, [settingsPath, expected] {
      const ReplaceResult result = SettingsStore(settingsPath).Write("Quintrel", "Layer", "2");
      return !result && result.failure == expected;
    }));
    ASSERT_EQ(chmod(path_.c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(path_), kSettings);
    EXPECT_EQ(Names(), std::set<std::string>{"Lumivane.ini"});
  }

  // A file without any write permission stays unchanged for root as well.
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  EXPECT_EQ(store_.Write("Quintrel", "Layer", "2").failure, ReplaceFailure::NotWritable);
  EXPECT_EQ(ReadFile(path_), kSettings);
}

TEST_F(SettingsOddFilesTest, ForeignFileWithoutWritePermissionIsNotReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to own a file the test user cannot write";
  ASSERT_TRUE(WriteFile(path_, kSettings));
  ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);  // the folder allows a rename; the file forbids it
  const std::string settingsPath = path_;
  EXPECT_TRUE(AsOrdinaryUser({}, [settingsPath] {
    return SettingsStore(settingsPath).Write("Quintrel", "Layer", "2").failure ==
           ReplaceFailure::NotWritable;
  }));
  EXPECT_EQ(ReadFile(path_), kSettings);
}

TEST_F(SettingsOddFilesTest, RootRewriteKeepsTheUsersOwnerGroupAndMode) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "ownership changes need root";
  ASSERT_TRUE(WriteFile(path_, kSettings));
  ASSERT_EQ(chown(path_.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0604), 0);
  ASSERT_TRUE(store_.Write("Quintrel", "Layer", "2"));
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, nobody->pw_uid);
  EXPECT_EQ(info.st_gid, nobody->pw_gid);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  EXPECT_EQ(store_.Read("Ports", "COM1", ""), "/dev/ttyUSB0");
}

TEST_F(SettingsOddFilesTest, LinksAreWrittenThroughToRegularFilesOnly) {
  const test::TempDir elsewhereDir;
  const std::string elsewhere = elsewhereDir.path();
  const std::string fifo = dir_ + "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct stat nullBefore {};
  ASSERT_EQ(stat("/dev/null", &nullBefore), 0);

  // Not regular: never written, read as missing, and a FIFO blocks nothing.
  for (const std::string& target : {fifo, std::string("/dev/null"), elsewhere}) {
    SCOPED_TRACE(target);
    std::remove(path_.c_str());
    ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
    EXPECT_EQ(store_.Read("Quintrel", "Keys", "default"), "default");
    EXPECT_EQ(store_.Write("Quintrel", "Keys", "360").failure, ReplaceFailure::NotRegular);
  }
  struct stat nullAfter {};
  ASSERT_EQ(stat("/dev/null", &nullAfter), 0);
  EXPECT_TRUE(S_ISCHR(nullAfter.st_mode) && nullAfter.st_rdev == nullBefore.st_rdev);
  SettingsStore fifoItself(fifo);
  EXPECT_EQ(fifoItself.Write("Quintrel", "Keys", "360").failure, ReplaceFailure::NotRegular);

  // A chain of links, the last one relative, to a file in another folder:
  // the file is replaced there and every link stays.
  const std::string target = elsewhere + "real.ini";
  ASSERT_TRUE(WriteFile(target, kSettings));
  ASSERT_EQ(symlink("real.ini", (elsewhere + "hop").c_str()), 0);
  std::remove(path_.c_str());
  ASSERT_EQ(symlink((elsewhere + "hop").c_str(), path_.c_str()), 0);
  ASSERT_TRUE(store_.Write("Quintrel", "Keys", "360"));
  EXPECT_EQ(ReadFile(target), "[Ports]\nCOM1=/dev/ttyUSB0\n[Quintrel]\nKeys=360\n");
  struct stat info {};
  EXPECT_TRUE(lstat(path_.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
  EXPECT_TRUE(lstat((elsewhere + "hop").c_str(), &info) == 0 && S_ISLNK(info.st_mode));

  // A link to a file not yet there creates that file.
  std::remove(target.c_str());
  ASSERT_TRUE(store_.Write("Quintrel", "Layer", "2"));
  EXPECT_EQ(ReadFile(target), "[Quintrel]\nLayer=2\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(elsewhere),
                          std::filesystem::directory_iterator()), 2);
}

TEST_F(SettingsOddFilesTest, EveryLineEndingTheReaderAcceptsStaysABreak) {
  struct Case {
    const char* before;
    const char* after;  // once Layer=2 and COMx=COM3 are written
  };
  const Case cases[] = {
      {"[Ports]\nCOM1=/dev/ttyUSB0\r", "[Ports]\nCOM1=/dev/ttyUSB0\r[Quintrel]\nLayer=2\nCOMx=COM3\n"},
      {"[Quintrel]\rCOM1=x\r", "[Quintrel]\rCOM1=x\rLayer=2\rCOMx=COM3\r"},
      {"[Quintrel]\r\nA=1\rB=2", "[Quintrel]\r\nA=1\rB=2\r\nLayer=2\r\nCOMx=COM3\r\n"},
      {"[Quintrel]", "[Quintrel]\nLayer=2\nCOMx=COM3\n"},
      {"[Quintrel]\rLayer=1\r\r\n[X]\n", "[Quintrel]\rLayer=2\rCOMx=COM3\r\r\n[X]\n"},
      // A bare CR above an empty LF line would swallow it.
      {"[Quintrel]\rLayer=1\r\n\n[X]\n", "[Quintrel]\rLayer=2\r\nCOMx=COM3\r\n\n[X]\n"},
      {"\xEF\xBB\xBF[Quintrel]\r\nLayer=1\r\n", "\xEF\xBB\xBF[Quintrel]\r\nLayer=2\r\nCOMx=COM3\r\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBF\n[Quintrel]\nLayer=2\nCOMx=COM3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    ASSERT_TRUE(WriteFile(path_, c.before));
    ASSERT_TRUE(store_.Write("Quintrel", "Layer", "2"));
    ASSERT_TRUE(store_.Write("quintrel", "COMx", "COM3"));
    EXPECT_EQ(ReadFile(path_), c.after);
    EXPECT_EQ(store_.Read("Quintrel", "Layer", ""), "2");
  }
  EXPECT_EQ(store_.Read("X", "Layer", "none"), "none");
  ASSERT_TRUE(WriteFile(path_, "[Ports]\rCOM1=/dev/ttyUSB0\r[Quintrel]\rB=2\r"));
  EXPECT_EQ(store_.Read("Ports", "COM1", ""), "/dev/ttyUSB0");
  EXPECT_EQ(store_.ReadSection("Quintrel"), (std::map<std::string, std::string>{{"B", "2"}}));
}

TEST_F(SettingsOddFilesTest, WritersInTwoProcessesLoseNoUpdate) {
  constexpr int kWrites = 150;
  ASSERT_TRUE(WriteFile(path_, kSettings));
  auto writer = [this](const char* key) {
    for (int i = 1; i <= kWrites; ++i) {
      if (!store_.Write("Quintrel", key, std::to_string(i))) return false;
      // No other writer may take back what this one wrote.
      if (store_.Read("Quintrel", key, "") != std::to_string(i)) return false;
    }
    return true;
  };
  const pid_t child = fork();
  if (child == 0) _exit(writer("Child") ? 0 : 1);
  const bool parentOk = writer("Parent");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(parentOk);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(store_.Read("Quintrel", "Child", ""), std::to_string(kWrites));
  EXPECT_EQ(store_.Read("Quintrel", "Parent", ""), std::to_string(kWrites));
  EXPECT_EQ(store_.Read("Ports", "COM1", ""), "/dev/ttyUSB0");
}

TEST_F(SettingsOddFilesTest, KilledWritersLeaveNoDebrisAndNoBrokenFile) {
  ASSERT_TRUE(WriteFile(path_, kSettings));
  for (int round = 0; round < 20; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(ready[0]);
      for (int i = 0;; ++i) {
        store_.Write("Quintrel", "Counter", std::to_string(i));
        // Tell the parent after a few writes, then keep writing until killed.
        if (i == round % 5) (void)!write(ready[1], "x", 1);
      }
    }
    close(ready[1]);
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(store_.Read("Ports", "COM1", ""), "/dev/ttyUSB0");
  }
  // The next writer clears whatever a killed one left between link and rename.
  ASSERT_TRUE(store_.Write("Quintrel", "Layer", "2"));
  EXPECT_EQ(Names(), std::set<std::string>{"Lumivane.ini"});
  EXPECT_NE(store_.Read("Quintrel", "Counter", ""), "");
}

}  // namespace
}  // namespace lumivane
