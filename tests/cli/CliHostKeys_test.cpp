// lumivane-cli's host on the PC/AT link, where the keypad's keys come on
// standard input: input that ends while a key is awaited ends the download.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "LinkFakes.h"
#include "ManualClock.h"
#include "TestPaths.h"
#include "cli/CliHost.h"
#include "download/DownloadChain.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;

Lines ReadLines(std::FILE* file) {
  Lines lines;
  std::rewind(file);
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, file)) {
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST(CliHostKeys, StandardInputAtItsEndEndsTheDownloadWithALine) {
  constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";
  const struct {
    const char* typed;  // then standard input ends
    Lines lines;
    std::size_t settings;  // typematic settings sent
  } cases[] = {
      {"", {kPress, "Standard input ended: the Quintrel's confirmation (Y) cannot arrive"}, 0},
      {"Y",
       {kPress, "Transfer in progress", "Standard input ended: the Quintrel's answer keys cannot arrive",
        "The Quintrel holds an incomplete image: download it again"},
       12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    int keys[2];
    ASSERT_EQ(pipe(keys), 0);
    const std::string typed = c.typed;
    ASSERT_EQ(write(keys[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(keys[1]);
    std::FILE* out = std::tmpfile();
    DownloadChoices choices;
    choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    choices.keysText = "120";
    choices.link = LinkKind::PcAt;
    RecordingKeyboardLine line;
    ManualClock clock;
    LinkChannels channels;
    channels.keyboardLine = &line;
    channels.clock = &clock;
    CliHost host(choices, out, keys[0], /*interruptFd=*/-1, clock);
    DownloadChain chain(host.driver(), channels, SourceDir() + "/emulators/");
    host.Run(chain);
    EXPECT_EQ(ReadLines(out), c.lines);
    EXPECT_EQ(line.settings.size(), c.settings);
    EXPECT_EQ(line.closes, 1);
    EXPECT_FALSE(chain.LastDownloadSucceeded());
    EXPECT_EQ(chain.outcome().exitStatus, 13) << "the wait ended";
    std::fclose(out);
    close(keys[0]);
  }
}

}  // namespace
}  // namespace lumivane::test
