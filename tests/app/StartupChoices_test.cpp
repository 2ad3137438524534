#include "app/StartupChoices.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "TestPaths.h"
#include "app/DesktopEditor.h"
#include "app/DetachedProcess.h"
#include "app/EditorCommand.h"
#include "app/SettingsStore.h"
#include "app/TextCase.h"

namespace lumivane {
namespace {

class StartupChoicesTest : public ::testing::Test {
 protected:
  RestoredChoices Restore(const std::string& settings,
                          std::optional<std::string> argument = std::nullopt) {
    if (!settings.empty()) test::WriteFile(path_, settings);
    return RestoreChoices(store_, "/prog/", argument);
  }

  test::TempDir temp_;
  std::string dir_ = temp_.path();
  std::string path_ = dir_ + "Lumivane.ini";
  SettingsStore store_{path_};
};

TEST_F(StartupChoicesTest, DefaultsWithoutSettingsFileCreateNoFile) {
  RestoredChoices choices = Restore("");
  EXPECT_EQ(choices.sourcePath, "/prog/Kt90NewConfig.pos");
  EXPECT_EQ(choices.emulation, "English_US");
  EXPECT_EQ(choices.keys, "120");
  EXPECT_EQ(choices.layer, 1);
  EXPECT_FALSE(choices.autoRun);
  EXPECT_EQ(choices.link, LinkKind::Usb);
  EXPECT_FALSE(choices.showPortControls);
  EXPECT_EQ(access(path_.c_str(), F_OK), -1);
}

TEST_F(StartupChoicesTest, ArgumentIsStoredAbsoluteBeforeAnythingIsRead) {
  char* cwd = getcwd(nullptr, 0);
  const std::string working = std::string(cwd) + (std::string(cwd) == "/" ? "" : "/");
  free(cwd);
  struct Case {
    std::string argument, stored;
  };
  const Case cases[] = {
      {"My Configs/new.pos", working + "My Configs/new.pos"},
      {"./x\xe9.pos", working + "./x\xe9.pos"},
      {"/abs/new.pos", "/abs/new.pos"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Restore("[Quintrel]\nFileToDownload=old.pos\n", c.argument).sourcePath, c.stored);
    EXPECT_EQ(store_.Read("Quintrel", "FileToDownload", "none"), c.stored);
    // A later run without arguments takes it from the settings file.
    EXPECT_EQ(RestoreChoices(store_, "/prog/", std::nullopt).sourcePath, c.stored);
  }
}

TEST_F(StartupChoicesTest, EmptyStoredSourceStaysEmpty) {
  EXPECT_EQ(Restore("[Quintrel]\nFileToDownload=\n").sourcePath, "");
}

TEST_F(StartupChoicesTest, LayerAndExecRunAcceptOnlyTheirExactWords) {
  EXPECT_EQ(Restore("[Quintrel]\nLayer=2\n").layer, 2);
  EXPECT_EQ(Restore("[Quintrel]\nLayer=02\n").layer, 1);
  EXPECT_EQ(Restore("[Quintrel]\nLayer=two\n").layer, 1);
  EXPECT_TRUE(Restore("[Quintrel]\nExecRun=AUTO\n").autoRun);
  EXPECT_FALSE(Restore("[Quintrel]\nExecRun=Automatic\n").autoRun);
}

TEST_F(StartupChoicesTest, LinkTableWithItsPcAtQuirk) {
  RestoredChoices rs232 = Restore("[Quintrel]\nLinkWith=rs232\nCOMx=COM3\n");
  EXPECT_EQ(rs232.link, LinkKind::Rs232);
  EXPECT_TRUE(rs232.showPortControls);
  EXPECT_EQ(rs232.comPort, "COM3");
  EXPECT_EQ(Restore("[Quintrel]\nLinkWith=RS232\n").comPort, "COM1");

  RestoredChoices rs485 = Restore("[Quintrel]\nLinkWith=RS485\nCOMx=COM3\n");
  EXPECT_EQ(rs485.link, LinkKind::Rs485);
  EXPECT_FALSE(rs485.showPortControls);

  // What the PC/AT radio writes restores USB; only the odd form restores PC/AT.
  EXPECT_EQ(LinkFromSetting(LinkSettingValue(LinkKind::PcAt)), LinkKind::Usb);
  EXPECT_EQ(Restore("[Quintrel]\nLinkWith=__pc/at__\n").link, LinkKind::PcAt);
  EXPECT_EQ(LinkFromSetting("wireless"), LinkKind::Wireless);
  EXPECT_EQ(LinkFromSetting("Serial"), LinkKind::Usb);
  for (LinkKind link : {LinkKind::Usb, LinkKind::Rs232, LinkKind::Rs485, LinkKind::Modem,
                        LinkKind::Internet, LinkKind::Wireless}) {
    EXPECT_EQ(LinkFromSetting(LinkSettingValue(link)), link) << LinkSettingValue(link);
  }
}

TEST(ListItemsTest, ListsSortWithoutRegardToCaseAndSelectByPrefix) {
  std::vector<std::string> names = EmulatorNames();
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 6),
            (std::vector<std::string>{"ANSI", "Arabic", "ASCII", "Belgian", "Canadian", "Custom"}));
  EXPECT_EQ(names[FindFirstWithPrefix(names, "english")], "English_UK");
  EXPECT_EQ(names[FindFirstWithPrefix(names, "Eng")], "English_UK");
  EXPECT_EQ(FindFirstWithPrefix(names, "Klingon"), -1);

  std::vector<std::string> ports = ComPortItems({"/dev/ttyUSB0", "com2"});
  EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyUSB0", "COM1", "COM2", "COM3", "COM4"}));
  EXPECT_EQ(ports[FindFirstWithPrefix(ports, "COM")], "COM1");
}

TEST(EditorCommandTest, SplitsLikeAShellAndKeepsThePathWhole) {
  EditorInvocation plain = BuildEditorInvocation("xdg-open", "/home/u/My Files/a b.pos");
  EXPECT_EQ(plain.program, "xdg-open");
  EXPECT_EQ(plain.arguments, (std::vector<std::string>{"/home/u/My Files/a b.pos"}));

  EditorInvocation quoted =
      BuildEditorInvocation(R"(  "/opt/My Editor/ed"  --flag='a b' x\ y "q\"t" $HOME;rm )", "f.pos");
  EXPECT_EQ(quoted.program, "/opt/My Editor/ed");
  EXPECT_EQ(quoted.arguments,
            (std::vector<std::string>{"--flag=a b", "x y", "q\"t", "$HOME;rm", "f.pos"}));

  // A path longer than any fixed buffer is passed in full.
  std::string longPath(600, 'p');
  EXPECT_EQ(BuildEditorInvocation("gedit", longPath).arguments.back(), longPath);

  EXPECT_TRUE(BuildEditorInvocation("   ", "f.pos").program.empty());
  EXPECT_TRUE(BuildEditorInvocation("\"unterminated", "f.pos").program.empty());
}

TEST_F(StartupChoicesTest, StoredEditorValueIsSplitAsStored) {
  struct Case {
    const char* line;
    std::vector<std::string> command;  // program, then arguments
  };
  const Case cases[] = {
      {"Editor=\"/opt/My Editor/edit\"", {"/opt/My Editor/edit", "f.pos"}},
      {"Editor = '/opt/My Editor/edit'  ", {"/opt/My Editor/edit", "f.pos"}},
      {"Editor=\"/opt/my ed\" --new", {"/opt/my ed", "--new", "f.pos"}},
      {"Editor=\"vim\" \"-p\"", {"vim", "-p", "f.pos"}},
      {"Editor=code --wait", {"code", "--wait", "f.pos"}},
      {"Other=1", {"x-terminal-emulator", "-e", "editor", "f.pos"}},  // no desktop default
      {"Editor=  ", {"x-terminal-emulator", "-e", "editor", "f.pos"}},
  };
  DesktopLookup noDesktop;
  for (const Case& c : cases) {
    test::WriteFile(path_, std::string("[Quintrel]\n") + c.line + "\n");
    const EditorInvocation invocation = EditorInvocationFromSettings(store_, "f.pos", noDesktop);
    std::vector<std::string> command{invocation.program};
    command.insert(command.end(), invocation.arguments.begin(), invocation.arguments.end());
    EXPECT_EQ(command, c.command) << c.line;
  }
}

// End to end: a real process is started, and its file is waited for.
TEST_F(StartupChoicesTest, EditorStartsDetachedWithThePathsOwnBytesEndToEnd) {
  EXPECT_EQ(StartDetachedProcess("no-such-editor-here", {}), std::errc::no_such_file_or_directory);
  EXPECT_EQ(StartDetachedProcess(dir_, {}), std::errc::permission_denied);
  const std::string path = dir_ + "Kass\xe9.pos";
  const std::string copy = dir_ + "copy";
  ASSERT_EQ(StartDetachedProcess("sh", {"-c", "printf %s \"$0\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"",
                                        path, copy}),
            std::error_code());
  // The process is not waited for: its file appears when it has run.
  for (int i = 0; i < 1000 && access(copy.c_str(), F_OK) != 0; ++i) usleep(10000);
  EXPECT_EQ(test::ReadFile(copy), path);
}

}  // namespace
}  // namespace lumivane
