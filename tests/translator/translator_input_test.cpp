// Sources and emulators that are not plain small files: FIFOs, devices,
// directories, oversized or line-heavy layouts, a stop during reading, and
// the same translation from bytes in memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TranslatorFixture.h"
#include "translator/EmulatorTable.h"
#include "translator/RegularFile.h"

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
  // Each refusal names the file and why, for the source and the emulator alike.
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {fifo, "not a regular file (a FIFO)"},
      {"/dev/zero", "not a regular file (a character device)"},
      {"/dev/null", "not a regular file (a character device)"},
      {linkToDevice, "not a regular file (a character device)"},
      {dir, "not a regular file (a directory)"},
      {dir + "missing", "No such file or directory"},
      {source + "/below-a-file", "Not a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(TranslateWith(c.path, layout), DownloadState::SourceUnavailable);
    EXPECT_EQ(builder.detailLine(), c.path + ": " + c.reason);
    EXPECT_EQ(TranslateWith(source, c.path), DownloadState::EmulatorUnavailable);
    EXPECT_EQ(builder.emulatorFailure(), EmulatorFailure::CannotOpen);
    EXPECT_EQ(builder.detailLine(), c.path + ": " + c.reason);
  }
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::ImageReady);
  EXPECT_TRUE(builder.detailLine().empty());
}

// A regular file whose reads wait for data (/proc/kmsg) must fail them
// instead: the descriptor stays non-blocking.
TEST_F(TranslatorInputTest, OpenedFilesNeverWaitForData) {
  const ReadableFile file = OpenRegularFile(Write("source.pos", kHeader));
  ASSERT_EQ(file.outcome, OpenOutcome::Opened);
  EXPECT_NE(fcntl(file.fd(), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(TranslatorInputTest, UnusableLayoutsSayWhy) {
  const std::string source = Write("source.pos", kHeader + "a");
  const std::string empty = Write("empty.emu", "");
  const std::string tiny = Write("tiny.emu", "a=28\n");
  EXPECT_EQ(TranslateWith(source, empty), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.detailLine(), empty + ": the file is empty");
  EXPECT_EQ(TranslateWith(source, tiny), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.detailLine(), tiny + ": holds only 5 bytes, too few for a layout");
  // The PC/AT link needs a key for every hexadecimal digit: only A (28) and C (33) are there.
  const std::string few = Write("few.emu", "a=28\nc=33\nx=1\n");
  EXPECT_EQ(builder.Translate({source, few, "120", true}), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.detailLine(), few + ": the keys in the places of B, D, E, F, G, H, I, J, K, L, M, N, O, "
                                        "P on a US keyboard type nothing on this layout; the PC/AT link "
                                        "reads the keys A to P as hexadecimal digits");
}

TEST_F(TranslatorInputTest, OversizedEmulatorIsRefusedUnreadWithADetailLine) {
  const std::string source = Write("source.pos", kHeader + "a");
  const std::string layout = Write("huge.emu", "a=28\n");
  ASSERT_EQ(truncate(layout.c_str(), EmulatorTable::kMaximumFileSize + 1), 0);
  EXPECT_EQ(TranslateWith(source, layout), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.emulatorFailure(), EmulatorFailure::TooLarge);
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

// Bytes in memory translate as the same bytes in files do: state, image,
// line, nibble keys and the emulator's error code.
TEST_F(TranslatorInputTest, BytesTranslateAsTheirFilesDo) {
  const std::string us = ReadFile(SourceDir() + "/emulators/English_US.emu");
  struct Case {
    std::string source, layout, keys;
    bool pcAt;
  };
  const Case cases[] = {
      {kHeader + "<01>abc<ENTER><DELAY 7><OUT 3><OUT 4>c<02>a", kSmallLayout, "120", false},
      {kHeader + "<690>ab\n<02>\r\nc", kSmallLayout, "360", false},
      {kHeader + "\n\n\n<01>a\nz", kSmallLayout, "120", false},  // a character the layout lacks
      {"<HEADER>", kSmallLayout, "120", false},                        // error in the header
      {"", kSmallLayout, "120", false},
      {kHeader + "<01>a", kSmallLayout, "120", true},  // nibble keys missing
      {kHeader + "<01>ab", us, "120", true},
      {kHeader + "a", "a=28\nb=50", "120", false},  // 9 bytes: too short
      {kHeader + "a", "", "120", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " | " + c.layout.substr(0, 20));
    const DownloadState fromFiles = Run(c.source, c.layout, c.keys, c.pcAt);
    const std::vector<std::uint8_t> image(builder.image(), builder.image() + builder.imageLength());
    const auto line = builder.lineNumber();
    const EmulatorFailure error = builder.emulatorFailure();
    const auto nibbles = builder.nibbleKeys();

    ImageBuilder fresh;
    EXPECT_EQ(fresh.TranslateBytes(c.source, c.layout, c.keys, c.pcAt), fromFiles);
    EXPECT_EQ(std::vector<std::uint8_t>(fresh.image(), fresh.image() + fresh.imageLength()), image);
    EXPECT_EQ(fresh.lineNumber(), line);
    if (c.pcAt) {
      EXPECT_EQ(fresh.nibbleKeys(), nibbles);  // looked up for the PC/AT link only
    }
    // An empty file cannot be mapped; empty bytes are simply too short.
    EXPECT_EQ(fresh.emulatorFailure(), c.layout.empty() ? EmulatorFailure::TooShort : error);
  }
}

TEST_F(TranslatorInputTest, BytesKeepTheSizeBoundAndTheStopCheck) {
  const std::string source = kHeader + std::string(300000, '\n') + "a";
  std::string huge(EmulatorTable::kMaximumFileSize + 1, '\n');
  EXPECT_EQ(builder.TranslateBytes(source, huge, "120", false), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.emulatorFailure(), EmulatorFailure::TooLarge);
  EXPECT_TRUE(builder.detailLine().empty());  // no file to name
  huge.pop_back();
  huge.replace(0, 5, "a=28\n");
  EXPECT_EQ(builder.TranslateBytes(source, huge, "120", false), DownloadState::ImageReady);

  int asked = 0;
  builder.SetStopCheck([&asked] { return ++asked == 3; });
  EXPECT_EQ(builder.TranslateBytes(source, kSmallLayout, "120", false), DownloadState::None);
  EXPECT_TRUE(builder.stopped());
  EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace lumivane::test
