#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TranslatorFixture.h"

namespace lumivane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr auto kReady = DownloadState::ImageReady;
constexpr auto kError = DownloadState::TranslationError;

using ImageBuilderTest = TranslatorFixture;

TEST_F(ImageBuilderTest, FirstWorkedExampleByteForByte) {
  ASSERT_EQ(Run(kHeader + "<01>abc"), kReady);
  ASSERT_EQ(builder.imageLength(), 468);
  Bytes expected(468, 0);
  expected[1] = 0x01, expected[2] = 0x2C, expected[3] = 0x01, expected[4] = 0xD0;
  const Bytes tail = {0xFF, 0x1C, 0x32, 0x21, 0xFF};
  std::copy(tail.begin(), tail.end(), expected.begin() + 463);
  EXPECT_EQ(Bytes(builder.image(), builder.image() + 468), expected);
  EXPECT_EQ(builder.lineNumber(), 3);
}

TEST_F(ImageBuilderTest, SecondWorkedExampleEveryTag) {
  ASSERT_EQ(Run(kHeader +
                "<01><OUT 1><OUT 2>a<RDELAY 7><DELAY 5><RE->b<-PEAT><WAITACK 2>"
                "<REPORT 258><ENTER><REM hi><02> "),
            kReady);
  EXPECT_EQ(Data(), (Bytes{0xFF, 0xFC, 0x01, 0x02, 0x00, 0x1C, 0xFE, 0x01, 0x2C, 0xFE, 0x00,
                           0x05, 0xFB, 0x32, 0xFA, 0xF9, 0x00, 0x02, 0xF8, 0x01, 0x02, 0x5A,
                           0xFF, 0x29, 0xFF}));
  EXPECT_EQ(builder.imageLength(), 488);
  EXPECT_EQ(Entry(1), 464u);
  EXPECT_EQ(Entry(2), 486u);
}

TEST_F(ImageBuilderTest, HeaderRules) {
  struct Case { std::string source; DownloadState state; int line; };
  const std::vector<Case> cases = {
      {"<HEADER>\n<DELAY 300>\n", kError, 3},
      {"<HEADER>\n<DELAY 300>", kError, 2},
      {"<HEADER 5>\n<DELAY 300>\na", kError, 1},
      {"<HEADER 0>\n<DELAY 300>\na", kReady, 3},
      {"<120>\n<DELAY 300>\na", kReady, 3},
      {"<HEADER 65536>\n<DELAY 1>a", kReady, 2},  // checked in 16 bits
      {"5>\n<DELAY 300>\na", kError, 1},          // no '<': the name reads as 5
      {"<HEADER>\n<PAUSE 300>\na", kError, 2},
      {"<HEADER>\nX<DELAY 300>\na", kError, 2},  // the '<' of DELAY becomes part of its name
      {"<HEADER", kError, 1},
      {"<HEADER>", kError, 1},
      {"<HEADER>\n<DELAY 3", kError, 2},
      {"", kError, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.source), c.state) << c.source;
    EXPECT_EQ(builder.lineNumber(), c.line) << c.source;
  }
  ASSERT_EQ(Run("<H>\n<delay=70000>a"), kReady);
  EXPECT_EQ(builder.defaultDelay(), 70000 - 65536);
}

TEST_F(ImageBuilderTest, BodyErrorsStopAtTheLineOfTheirLastCharacter) {
  struct Case { std::string body; int line; };
  const std::vector<Case> cases = {
      {"<OUT 0>", 3},       {"<OUT 256>", 3},     {"a\n<01\n\n", 6},
      {"<231>", 3},         {"<0>", 3},           {"<DELAYY 0>", 3},
      {"<KEY -1>", 3},      {"a\n\nd", 5},        {std::string("a\0", 2), 3},
      {"<\n\nREM\n>\n\n<999>", 8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(kHeader + c.body), kError) << c.body;
    EXPECT_EQ(builder.lineNumber(), c.line) << c.body;
  }
}

TEST_F(ImageBuilderTest, KeyNumbersAndGeometry) {
  ASSERT_EQ(Run(kHeader + "<230>a<KEY 65537>b<1>c<01>a<KEY -65535>b"), kReady);
  EXPECT_EQ(Entry(230), 464u);
  EXPECT_EQ(Entry(1), 472u);  // defined four times: the last tag wins
  EXPECT_EQ(builder.tableSize(), 463);

  EXPECT_EQ(Run(kHeader + "<690>a", kSmallLayout, "360"), kReady);
  EXPECT_EQ(builder.tableSize(), 1383);
  EXPECT_EQ(Entry(690), 1384u);
  EXPECT_EQ(Run(kHeader + "<691>a", kSmallLayout, "360"), kError);
  for (const char* keys : {"", "120", "360 ", "0360"}) {
    EXPECT_EQ(Run(kHeader + "<690>a", kSmallLayout, keys), kError) << keys;
    EXPECT_EQ(builder.keyLimit(), 231);
  }
}

TEST_F(ImageBuilderTest, LayoutEntryWinsOverKeyNumberAndOutRunsClose) {
  const std::string layout = std::string(kSmallLayout) + "5=46\nBIG=255,248,1\n";
  ASSERT_EQ(Run(kHeader + "<5><05><BIG 9><OUT 1><OUT 2><OUT 3>a<OUT 257> <OUT 4><OUT 5>", layout),
            kReady);
  EXPECT_EQ(Data(), (Bytes{46, 0xFF, 255, 248, 1, 0xFC, 1, 2, 3, 0, 28, 0xFC, 1, 0, 41, 0xFC, 4,
                           5, 0, 0xFF}));
  EXPECT_EQ(Entry(5), 465u);
  EXPECT_EQ(builder.image()[0], 0);
}

TEST_F(ImageBuilderTest, ImageNeverGrowsPast65535Bytes) {
  // 21 codes per blank: the blanks of line 3 fill the image, line 4 overflows it.
  const std::string layout = " =1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21\nx=1\n";
  const int blanks = (65535 - 463 - 1) / 21;  // 3098 blanks fit with the final 0xFF
  std::string fits = kHeader + std::string(static_cast<std::size_t>(blanks), ' ');
  ASSERT_EQ(Run(fits, layout), kReady);
  EXPECT_LE(builder.imageLength(), 65535);
  EXPECT_EQ(Run(fits + "\n" + std::string(4, ' '), layout), kError);
  EXPECT_EQ(builder.lineNumber(), 4);
  EXPECT_EQ(builder.imageLength(), 65535);
}

TEST_F(ImageBuilderTest, EmulatorIsCheckedBeforeTheSourceAndNibbleKeysOnlyForPcAt) {
  TranslationInput input;
  input.sourcePath = dir + "missing.pos";
  input.emulatorPath = dir + "missing.emu";
  EXPECT_EQ(builder.Translate(input), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.emulatorFailure(), EmulatorFailure::CannotOpen);
  input.emulatorPath = Write("small.emu", kSmallLayout);
  EXPECT_EQ(builder.Translate(input), DownloadState::SourceUnavailable);
  EXPECT_EQ(builder.emulatorFailure(), EmulatorFailure::None) << "the layout served";

  EXPECT_EQ(Run(kHeader + "a", kSmallLayout, "120", true), DownloadState::EmulatorUnavailable);
  EXPECT_EQ(builder.emulatorFailure(), EmulatorFailure::NibbleKeyMissing);
  EXPECT_EQ(builder.nibbleKeys()[0], 'A');
  EXPECT_EQ(builder.nibbleKeys()[3], '\0');

  const std::string us = ReadFile(SourceDir() + "/emulators/English_US.emu");
  ASSERT_EQ(Run(kHeader + "<01>a", us, "120", true), kReady);
  EXPECT_EQ(std::string(builder.nibbleKeys().data(), 16), "ABCDEFGHIJKLMNOP");
}

TEST_F(ImageBuilderTest, LineCounterStartsAtOneThenEveryFourthLine) {
  std::vector<std::string> shown;
  builder.SetLineCounterCallback([&](const std::string& text) { shown.push_back(text); });
  ASSERT_EQ(Run(kHeader + "<01>\na\nb\nc\n\n\nE"), DownloadState::TranslationError);
  EXPECT_EQ(shown, (std::vector<std::string>{"00001", "00004", "00008"}));
  EXPECT_EQ(builder.lineNumber(), 9);  // "E" has no entry
}

}  // namespace
}  // namespace lumivane::test
