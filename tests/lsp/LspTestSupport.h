#pragma once
// What the transcript tests share: sources in the code page, their text as
// the editor holds it, and check's own report of them.
#include <iconv.h>

#include <sstream>
#include <string>

#include "LspClient.h"
#include "TestPaths.h"
#include "tests/cli/CliRun.h"

namespace lumivane::test {

inline const std::string kUri = "file:///work/till.pos";

// Bytes of a Windows code page as UTF-8, through iconv; a byte the code
// page leaves undefined stands for the character of its number.
inline std::string FromCodePage(const std::string& bytes, const char* codePage = "WINDOWS-1252") {
  iconv_t converter = iconv_open("UTF-8", codePage);
  std::string text;
  for (const char c : bytes) {
    char in = c, out[8];
    char* inPointer = &in;
    char* outPointer = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1)) {
      const auto byte = static_cast<unsigned char>(c);
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      text.append(out, sizeof out - outLeft);
    }
  }
  iconv_close(converter);
  return text;
}

// What lumivane-cli check --format json reports for `bytes`.
inline std::vector<Json> CheckReport(const TempDir& dir, const std::string& bytes, const std::string& emulator,
                                     const std::string& keys) {
  const std::string path = dir.path() + "check.pos";
  WriteFile(path, bytes);
  const CliRun run = RunShell(ShellQuote(ProgramDir() + "lumivane-cli") + " check --format json --emulator " +
                              ShellQuote(emulator) + " --keys " + keys + " " + ShellQuote(path));
  std::vector<Json> report;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] == '{') report.push_back(Json::parse(line));
  }
  return report;
}

}  // namespace lumivane::test
