// lumivane-cli check and the compiler-style lines of a failed translation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PtyPair.h"
#include "TestPaths.h"
#include "cli/DiagnosticPrinter.h"

extern char** environ;

namespace lumivane::test {
namespace {

struct CliRun {
  int status = -1;
  std::string out, err;
};

// Runs lumivane-cli with `arguments`, its standard output and error each to
// a file of `dir` (or its standard error to `stderrPath`, a terminal).
CliRun RunCli(const std::vector<std::string>& arguments, const std::string& dir,
           const std::string& stderrPath = "") {
  std::vector<std::string> argv{ProgramDir() + "lumivane-cli"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  const std::string outPath = dir + "out.txt";
  const std::string errPath = stderrPath.empty() ? dir + "err.txt" : stderrPath;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  CliRun run;
  pid_t pid;
  if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) == 0) {
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadFile(outPath);
  if (stderrPath.empty()) run.err = ReadFile(errPath);
  return run;
}

// A flat JSON object of strings, numbers and null, as key -> value text
// (strings decoded); empty when the text is no such object.
std::map<std::string, std::string> ParseFlatObject(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::size_t i = 0;
  auto readString = [&](std::string* value) {
    if (text[i++] != '"') return false;
    for (; i < text.size() && text[i] != '"'; ++i) {
      if (static_cast<unsigned char>(text[i]) < 0x20) return false;
      if (text[i] != '\\') {
        *value += text[i];
      } else if (text[++i] == 'u') {
        *value += static_cast<char>(std::stoi(text.substr(i + 1, 4), nullptr, 16));
        i += 4;
      } else {
        *value += text[i];
      }
    }
    return i++ < text.size();
  };
  if (text.empty() || text[i++] != '{') return {};
  while (i < text.size()) {
    std::string key, value;
    if (!readString(&key) || text[i++] != ':') return {};
    if (text[i] == '"') {
      if (!readString(&value)) return {};
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '}') value += text[i++];
    }
    fields[key] = value;
    if (text[i] == '}') return i + 1 == text.size() ? fields : std::map<std::string, std::string>{};
    if (text[i++] != ',') return {};
  }
  return {};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

const std::string kHeader = "<HEADER>\n<DELAY 5>\n";

TEST(CliCheckTest, ReportsEveryErrorOfEverySourceAndExitsByTheWorst) {
  const TempDir temp;
  const std::string dir = temp.path();
  // A name with a control byte and a byte that is not UTF-8 must still give valid JSON.
  const std::string bad = dir + "bad\x01\xff.pos";
  ASSERT_TRUE(WriteFile(bad, kHeader + "<01>ab<ENTRE>\n<999>\x02\n"));
  ASSERT_TRUE(WriteFile(dir + "good.pos", kHeader + "<01>ab<ENTER>\n"));
  std::string binary = kHeader;
  for (int line = 0; line < 300; ++line) binary += "\x01\x02\x03\n";
  ASSERT_TRUE(WriteFile(dir + "binary.pos", binary));

  CliRun run = RunCli({"check", dir + "good.pos", bad}, dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, bad + ":3:13: error: unknown key name <ENTRE> (did you mean <ENTER>?)\n" + bad +
                         ":4:5: error: key number 999 is out of range: key numbers run from 1 to 230 "
                         "with 120 keys\n" +
                         bad + ":4:6: error: the layout English_US cannot type the character 0x02\n");

  run = RunCli({"check", "--format", "json", bad, dir + "binary.pos"}, dir);
  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> objects = Lines(run.out);
  ASSERT_EQ(objects.size(), 3u + 100u);
  const auto first = ParseFlatObject(objects[0]);
  EXPECT_EQ(first.at("file"), bad);
  EXPECT_EQ(first.at("line") + ":" + first.at("column"), "3:13");
  EXPECT_EQ(first.at("kind"), "unknown_name");
  EXPECT_EQ(first.at("suggestion"), "<ENTER>");
  for (const std::string& object : objects) EXPECT_FALSE(ParseFlatObject(object).empty()) << object;
  EXPECT_EQ(ParseFlatObject(objects[1]).at("suggestion"), "null");
  EXPECT_EQ(run.err, dir + "binary.pos: too many errors; checking stopped after 100\n");

  struct StatusCase {
    std::vector<std::string> arguments;
    int status;
  };
  for (const StatusCase& c : std::vector<StatusCase>{{{"check", dir + "good.pos"}, 0},
                                                    {{"check", dir + "missing.pos", bad}, 7},
                                                    {{"check", "--emulator", "No_Such", bad}, 8}}) {
    EXPECT_EQ(RunCli(c.arguments, dir).status, c.status) << c.arguments.back();
  }
}

TEST(CliCheckTest, TerminalGetsTheSourceLineAndACaretUnderTheColumn) {
  const TempDir temp;
  const std::string dir = temp.path();
  ASSERT_TRUE(WriteFile(dir + "bad.pos", kHeader + "\tab\x1b<ENTRE>\r\n"));
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const CliRun run = RunCli({"translate", dir + "bad.pos"}, dir, pty.devicePath());
  EXPECT_EQ(run.status, 1);
  std::string shown;
  char chunk[512];
  pollfd ready{pty.masterFd(), POLLIN, 0};
  while (poll(&ready, 1, 2000) > 0) {
    const ssize_t got = read(pty.masterFd(), chunk, sizeof chunk);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      if (chunk[i] != '\r') shown += chunk[i];
    }
    if (shown.find("^\n") != std::string::npos) break;
  }
  // The escape byte (the error) shows as '?'; the tab stays, under the line too.
  EXPECT_EQ(shown, dir + "bad.pos:3:4: error: the layout English_US cannot type the character 0x1B\n"
                         "\tab?<ENTRE>\n"
                         "\t  ^\n");
}

TEST(CaretLinesTest, CountsBytesButPadsOneCellPerCharacter) {
  // 'é' is two bytes and one cell; the caret sits under the 'x' at byte 4.
  EXPECT_EQ(CaretLines("\xC3\xA9" "ax", 4), "\xC3\xA9" "ax\n  ^\n");
  // Past the end of the line (the source ended there).
  EXPECT_EQ(CaretLines("ab", 3), "ab\n  ^\n");
}

}  // namespace
}  // namespace lumivane::test
