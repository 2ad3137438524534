// Sources and emulators that are not plain small files: FIFOs, devices,
// directories, oversized or line-heavy layouts, and a stop during reading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TranslatorFixture.h"
#include "translator/EmulatorTable.h"

namespace lumivane::test {
namespace {

class TranslatorInputTest : public TranslatorFixture {
 protected:
  DownloadState TranslateWith(const std::string& source, const std::string& emulator) {
    return builder.Translate({source, emulator, "120", false});
  }
  std::string Fifo() {
    const std::string path = dir + "fifo";
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return path;
  }
};

TEST_F(TranslatorInputTest, OnlyRegularFilesAreReadAndNothingBlocks) {
  const std::string layout = Write("layout.emu", kSmallLayout);
  const std::string source = Write("source.pos", kHeader + "abc");
  const std::string fifo = Fifo();
  const std::string linkToDevice = dir + "zero.pos";
  ASSERT_EQ(symlink("/dev/zero", linkToDevice.c_str()), 0);
  for (const std::string& odd : {fifo, std::string("/dev/zero"), std::string("/dev/null"),
                                 linkToDevice, dir}) {
    SCOPED_TRACE(odd);
    EXPECT_EQ(TranslateWith(odd, layout), DownloadState::SourceUnavailable);
    EXPECT_EQ(TranslateWith(source, odd), DownloadState::EmulatorUnavailable);
    EXPECT_EQ(builder.emulatorError(), EmulatorTable::kCannotOpen);
    EXPECT_TRUE(builder.detailLine().empty());
  }
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::ImageReady);
}

TEST_F(TranslatorInputTest, OversizedEmulatorIsRefusedUnreadWithADetailLine) {
  const std::string source = Write("source.pos", kHeader + "a");
  const std::string layout = Write("huge.emu", "a=28\n");
  ASSERT_EQ(truncate(layout.c_str(), EmulatorTable::kMaximumFileSize + 1), 0);
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.emulatorError(), EmulatorTable::kTooLarge);
  EXPECT_EQ(builder.detailLine(), "The emulator file " + layout + " is larger than 16 MiB");

  // At the bound it loads, and only the lines holding '=' are kept.
  ASSERT_EQ(truncate(layout.c_str(), 0), 0);
  std::string lines(EmulatorTable::kMaximumFileSize - 10, '\n');
  ASSERT_TRUE(WriteFile(layout, lines + "a=28\nb=5\n"));
  EmulatorTable table(layout);
  ASSERT_TRUE(table.IsLoaded());
  EXPECT_EQ(table.LineCount(), static_cast<int>(lines.size()) + 2);
  EXPECT_EQ(table.EntryCount(), 2);
  EXPECT_TRUE(table.FindName("b"));
  EXPECT_EQ(table.NextNumber(), 5u);
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::ImageReady);
  EXPECT_TRUE(builder.detailLine().empty());
}

TEST_F(TranslatorInputTest, StopCheckEndsTheTranslationWithoutAState) {
  const std::string layout = Write("layout.emu", kSmallLayout);
  // Several blocks of blank lines: the reader asks before each block.
  const std::string source = Write("long.pos", kHeader + std::string(300000, '\n') + "a");
  int asked = 0;
  builder.SetStopCheck([&asked] { return ++asked == 3; });
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::None);
  EXPECT_TRUE(builder.stopped());
  EXPECT_EQ(asked, 3);

  builder.SetStopCheck([] { return false; });
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::ImageReady);
  EXPECT_FALSE(builder.stopped());
}

}  // namespace
}  // namespace lumivane::test
