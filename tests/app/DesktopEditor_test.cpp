// The editor Edit starts without an Editor setting: the desktop's default
// handler of the source's type, else of plain text, found through a fake
// xdg-mime on PATH and a fake XDG data tree.
#include "app/DesktopEditor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "TestPaths.h"

namespace lumivane::test {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the test's duration.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { old_ ? (void)::setenv(name_, old_->c_str(), 1) : (void)::unsetenv(name_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::vector<std::string> Command(const EditorInvocation& invocation) {
  std::vector<std::string> command{invocation.program};
  command.insert(command.end(), invocation.arguments.begin(), invocation.arguments.end());
  return command;
}

TEST(DesktopEditorTest, TheDefaultHandlerOfTheSourceTypeThenOfPlainTextThenTheTerminalEditor) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  const std::string system = dir.path() + "system/";
  const std::string bin = dir.path() + "bin/";
  fs::create_directories(home + "applications");
  fs::create_directories(system + "applications/kde4");
  fs::create_directories(bin);
  // xdg-mime query default TYPE prints the id stored for TYPE, if any;
  // shell built-ins only, as PATH holds nothing else.
  ASSERT_TRUE(WriteFile(bin + "xdg-mime",
                        "#!/bin/sh\nf=\"${0%/*}/default-${3%%/*}-${3#*/}\"\n"
                        "[ -r \"$f\" ] && read -r id < \"$f\" && echo \"$id\"\nexit 0\n"));
  ::chmod((bin + "xdg-mime").c_str(), 0755);
  const ScopedVariable path("PATH", bin);
  const ScopedVariable dataHome("XDG_DATA_HOME", home);
  const ScopedVariable dataDirs("XDG_DATA_DIRS", system + ":" + dir.path() + "absent");

  const std::map<std::string, std::string> entries = {
      {home + "applications/pos-editor.desktop",
       "[Desktop Entry]\nName=Pos\nExec=gedit --new-window %U\n[Desktop Action New]\nExec=wrong\n"},
      {system + "applications/org.example.Text.desktop",
       "[Desktop Entry]\nExec=\"/opt/My Editor/te\" \"--a=\\\\\"q\\\\\"\" \"\" \\s%f\n"},
      {system + "applications/kde4/kate.desktop",
       "[Desktop Entry]\nName=Kate\nIcon=kate\nExec=kate %i --title=%c %% %d -k %k --file=%f\n"},
      {system + "applications/vim.desktop", "[Desktop Entry]\nTerminal=true\nExec=vim\n"},
      {system + "applications/noexec.desktop", "[Desktop Entry]\nName=Nothing\n"},
  };
  for (const auto& [file, text] : entries) ASSERT_TRUE(WriteFile(file, text));

  const std::string pos = "/data/my till.pos";
  const struct {
    const char* posHandler;  // nullptr: xdg-mime names none
    const char* plainHandler;
    std::vector<std::string> command;
  } cases[] = {
      {"pos-editor.desktop", "vim.desktop", {"gedit", "--new-window", pos}},
      {nullptr, "org.example.Text.desktop", {"/opt/My Editor/te", "--a=\"q\"", "", pos}},
      {"missing.desktop", "kde4-kate.desktop",
       {"kate", "--icon", "kate", "--title=Kate", "%", "-k", system + "applications/kde4/kate.desktop",
        "--file=" + pos}},
      {"noexec.desktop", "vim.desktop", {"x-terminal-emulator", "-e", "vim", pos}},
      {nullptr, "../escape.desktop", {"x-terminal-emulator", "-e", "editor", pos}},
      {nullptr, nullptr, {"x-terminal-emulator", "-e", "editor", pos}},
  };
  for (const auto& c : cases) {
    fs::remove(bin + "default-text-x-lumivane-pos");
    fs::remove(bin + "default-text-plain");
    if (c.posHandler) {
      ASSERT_TRUE(WriteFile(bin + "default-text-x-lumivane-pos", std::string(c.posHandler) + "\n"));
    }
    if (c.plainHandler) {
      ASSERT_TRUE(WriteFile(bin + "default-text-plain", std::string(c.plainHandler) + "\n"));
    }
    EXPECT_EQ(Command(DefaultEditorInvocation(DesktopLookup::FromEnvironment(), pos)), c.command)
        << (c.posHandler ? c.posHandler : "-") << " " << (c.plainHandler ? c.plainHandler : "-");
  }
  // Without xdg-mime there is no default either.
  fs::remove(bin + "xdg-mime");
  EXPECT_EQ(Command(DefaultEditorInvocation(DesktopLookup::FromEnvironment(), pos)),
            (std::vector<std::string>{"x-terminal-emulator", "-e", "editor", pos}));
}

}  // namespace
}  // namespace lumivane::test
