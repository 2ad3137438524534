// Where each key's data begins in the image, as a tool that shows the cost
// of every key reads it, and a layout kept loaded across translations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TranslatorFixture.h"
#include "translator/EmulatorTable.h"

namespace lumivane::test {
namespace {

struct MarkCase {
  std::string body;  // after kHeader (two lines)
  // key, line, column and image offset of every mark; key 0 is the end
  std::vector<KeyMark> marks;
};

class KeyMarkTest : public ::testing::TestWithParam<MarkCase> {};

TEST_P(KeyMarkTest, MarksEveryKeyStartAndTheEnd) {
  ImageBuilder builder;
  std::vector<KeyMark> seen;
  builder.SetErrorLimit(10);
  builder.SetKeyMarkObserver([&](const KeyMark& mark) { seen.push_back(mark); });
  builder.TranslateBytes(kHeader + GetParam().body, kSmallLayout, "120", false);
  ASSERT_EQ(seen.size(), GetParam().marks.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const KeyMark& want = GetParam().marks[i];
    EXPECT_EQ(seen[i].key, want.key) << i;
    EXPECT_EQ(seen[i].imageOffset, want.imageOffset) << i;
    if (want.key != 0) {
      EXPECT_EQ(seen[i].line, want.line) << i;
      EXPECT_EQ(seen[i].column, want.column) << i;
    }
  }
}

// The data area begins at 463 with 120 keys.
INSTANTIATE_TEST_SUITE_P(
    Sources, KeyMarkTest,
    ::testing::Values(
        // a (1 byte) ahead of the first key; key 1: FF, a, b; key 7: FF, DELAY 3 bytes, ENTER
        MarkCase{"a<01>ab\n<07><DELAY 5><ENTER>", {{1, 3, 5, 464}, {7, 4, 4, 467}, {0, 0, 0, 472}}},
        // a key defined twice: both marks; an OUT run closes before the next key
        MarkCase{"<02><OUT 1><02>c", {{2, 3, 4, 463}, {2, 3, 15, 467}, {0, 0, 0, 469}}},
        // the source ends inside a tag: no end mark
        MarkCase{"<03>a<ENT", {{3, 3, 4, 463}}},
        // errors are read on: the key after them is marked
        MarkCase{"<01><ENTRE>\n<231><04>b", {{1, 3, 4, 463}, {4, 4, 9, 464}, {0, 0, 0, 466}}}));

TEST(TranslateWithTest, KeepsTheLayoutAndNamesItInTheSentences) {
  EmulatorTable layout(EmulatorTable::InMemory{kSmallLayout});
  ImageBuilder builder;
  builder.SetErrorLimit(10);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(builder.TranslateWith(kHeader + "<01>a\x01" "b", layout, "Small", "120", false),
              DownloadState::TranslationError);
    ASSERT_EQ(builder.diagnostics().size(), 1u);
    EXPECT_EQ(builder.diagnostics()[0].message, "the layout Small cannot type the character 0x01");
    EXPECT_EQ(builder.TranslateWith(kHeader + "<01>ab", layout, "Small", "120", false), DownloadState::ImageReady);
  }
}

}  // namespace
}  // namespace lumivane::test
