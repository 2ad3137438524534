// Every kind of translation error: where it is reported and what it says,
// and the suggestion for a misspelled name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TranslatorFixture.h"
#include "translator/NameSuggestion.h"

namespace lumivane::test {
namespace {

struct ErrorCase {
  std::string source;
  std::string expected;  // the detail line: "LINE:COL: message (did you mean ...?)"
  DiagnosticKind kind;
  std::string keys = "120";
};

class TranslationErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(TranslationErrorTest, ReportsLineColumnAndReason) {
  const ErrorCase& c = GetParam();
  ImageBuilder builder;
  ASSERT_EQ(builder.TranslateBytes(c.source, kSmallLayout, c.keys, false), DownloadState::TranslationError);
  ASSERT_EQ(builder.diagnostics().size(), 1u);
  const TranslationDiagnostic& diagnostic = builder.diagnostics().front();
  EXPECT_EQ(builder.detailLine(), c.expected);
  EXPECT_EQ(diagnostic.kind, c.kind);
  // The window's line counter and the diagnostic agree.
  EXPECT_EQ(diagnostic.line, builder.lineNumber());
}

const std::string kLong = kHeader + "<01>" + std::string(70000, 'a');

INSTANTIATE_TEST_SUITE_P(
    EveryKind, TranslationErrorTest,
    ::testing::Values(
        ErrorCase{"<HEADER 5>\n<DELAY 1>\na",
                  "1:10: the first tag <HEADER> must have the number 0, as <HEADER> has, not 5",
                  DiagnosticKind::BadFirstTag},
        ErrorCase{"\n<HEADER", "2:8: the source ends inside its first tag: it must begin with <HEADER>",
                  DiagnosticKind::BadFirstTag},
        ErrorCase{"<HEADER>\n", "2:1: the source ends after its first tag: the header needs <DELAY n> next",
                  DiagnosticKind::MissingBody},
        ErrorCase{"<HEADER>\r\n<DELAY 5>\r\n",
                  "3:1: nothing follows the header: a source needs at least one character after <DELAY n>",
                  DiagnosticKind::MissingBody},
        ErrorCase{"<HEADER>\n<DELAX 5>a", "2:9: the second tag must be <DELAY n>, not <DELAX>",
                  DiagnosticKind::SecondTagNotDelay},
        // The character after the first tag is skipped unread: the sentence
        // names it, and the column points at it.
        ErrorCase{"<HEADER> <DELAY 2>\na",
                  "1:9: put <DELAY n> directly after <HEADER> or on the next line, with nothing between "
                  "them (here a blank)",
                  DiagnosticKind::SecondTagNotDelay},
        ErrorCase{"<HEADER>\r\n\t<delay 2>\na",
                  "2:1: put <DELAY n> directly after <HEADER> or on the next line, with nothing between "
                  "them (here a tab)",
                  DiagnosticKind::SecondTagNotDelay},
        ErrorCase{"<01>caf<ENTER>\n",
                  "1:5: a source begins with <HEADER> and then <DELAY n>, but 'c' follows the first tag",
                  DiagnosticKind::SecondTagNotDelay},
        ErrorCase{"25<HEADER>\n<DELAY 1>\na",
                  "1:10: a source begins with <HEADER> and then <DELAY n>: the text up to the first '>' is "
                  "read as its first tag, and holds the number 25, not 0",
                  DiagnosticKind::BadFirstTag},
        ErrorCase{kHeader + "<01>ab<ENT", "3:11: the source ends inside a tag: a '<' has no closing '>'",
                  DiagnosticKind::IncompleteTag},
        ErrorCase{kHeader + "<01><OUT 256>",
                  "3:13: <OUT 256> sends nothing: an OUT number must be 1 to 255 (its low 8 bits must not be 0)",
                  DiagnosticKind::OutZero},
        ErrorCase{kHeader + "<01>\n  <ENTRE>", "4:9: unknown key name <ENTRE> (did you mean <ENTER>?)",
                  DiagnosticKind::UnknownName},
        ErrorCase{kHeader + "<01>\r\n<rdelya>", "4:8: unknown key name <RDELYA> (did you mean <RDELAY>?)",
                  DiagnosticKind::UnknownName},
        ErrorCase{kHeader + "< 5>", "3:4: a tag needs a name or a key number", DiagnosticKind::UnknownName},
        ErrorCase{kHeader + "<231>",
                  "3:5: key number 231 is out of range: key numbers run from 1 to 230 with 120 keys",
                  DiagnosticKind::KeyOutOfRange},
        ErrorCase{kHeader + "<KEY 0>",
                  "3:7: key number 0 is out of range: key numbers run from 1 to 230 with 120 keys",
                  DiagnosticKind::KeyOutOfRange},
        ErrorCase{kHeader + "<KEY 691\n>",
                  "4:1: key number 691 is out of range: key numbers run from 1 to 690 with 360 keys",
                  DiagnosticKind::KeyOutOfRange, "360"},
        ErrorCase{kHeader + "<01>a\tb", "3:6: the layout cannot type the character 0x09",
                  DiagnosticKind::UntypableChar},
        ErrorCase{kHeader + "<01>ab\xC3\xA9", "3:7: the layout cannot type the character 0xC3",
                  DiagnosticKind::UntypableChar},
        // A bare CR ends no line, but is a byte of it.
        ErrorCase{"<HEADER>\r<DELAY 5>\rab\rx", "1:23: the layout cannot type the character 'x'",
                  DiagnosticKind::UntypableChar},
        ErrorCase{kLong, "3:65076: the image would be larger than 65,535 bytes",
                  DiagnosticKind::ImageTooLarge}));

TEST(TranslationErrorFileTest, DetailLineNamesTheSourceFileAndTheLayout) {
  TempDir temp;
  ASSERT_TRUE(WriteFile(temp.path() + "Kt90.pos", kHeader + "<01>a\x01"));
  ASSERT_TRUE(WriteFile(temp.path() + "Small.emu", kSmallLayout));
  ImageBuilder builder;
  TranslationInput input{temp.path() + "Kt90.pos", temp.path() + "Small.emu", "120", false};
  ASSERT_EQ(builder.Translate(input), DownloadState::TranslationError);
  EXPECT_EQ(builder.detailLine(), "Kt90.pos:3:6: the layout Small cannot type the character 0x01");
}

TEST(TranslationErrorCollectTest, ResumesAfterEachErrorAndKeepsTheFirstAsTheSingleRun) {
  const std::string source = "<HEADER 1>\n<DELAX 5>\n<01>a\x01\x02\x03<ENTRE>b\n\x04<999><OUT 0>";
  ImageBuilder single;
  single.TranslateBytes(source, kSmallLayout, "120", false);
  ImageBuilder all;
  all.SetErrorLimit(100);
  ASSERT_EQ(all.TranslateBytes(source, kSmallLayout, "120", false), DownloadState::TranslationError);
  std::vector<std::string> found;
  for (const TranslationDiagnostic& d : all.diagnostics()) {
    found.push_back(std::to_string(d.line) + ":" + std::to_string(d.column) + " " + DiagnosticKindName(d.kind));
  }
  // One character error per run of bad bytes, up to the next tag or line.
  EXPECT_EQ(found, (std::vector<std::string>{"1:10 bad_first_tag", "2:9 second_tag_not_delay",
                                             "3:6 untypable_char", "3:15 unknown_name", "4:1 untypable_char",
                                             "4:6 key_out_of_range", "4:13 out_zero"}));
  EXPECT_EQ(all.detailLine(), single.detailLine());
  EXPECT_FALSE(all.errorLimitReached());

  // A binary file stops at the limit instead of reporting every byte.
  std::string binary = kHeader;
  for (int i = 0; i < 20000; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  all.SetErrorLimit(5);
  all.TranslateBytes(binary, kSmallLayout, "120", false);
  EXPECT_EQ(all.diagnostics().size(), 5u);
  EXPECT_TRUE(all.errorLimitReached());
}

struct SuggestionCase {
  std::string wanted;
  std::vector<std::string_view> candidates;
  std::string expected;
};

class NameSuggestionTest : public ::testing::TestWithParam<SuggestionCase> {};

TEST_P(NameSuggestionTest, SuggestsOnlyAClearNearestName) {
  EXPECT_EQ(NearestName(GetParam().wanted, GetParam().candidates), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NameSuggestionTest,
    ::testing::Values(SuggestionCase{"ENTRE", {"TAB", "ENTER", "END"}, "ENTER"},      // transposition
                      SuggestionCase{"hoem", {"HOME", "END"}, "HOME"},                 // case, transposition
                      SuggestionCase{"BAKSPAC", {"BACKSPACE", "SPACE"}, "BACKSPACE"},  // two edits, long name
                      SuggestionCase{"HXXE", {"HOME"}, ""},                            // two edits, short name
                      SuggestionCase{"F13", {"F11", "F12", "F1"}, ""},                 // tie
                      SuggestionCase{"ENTRE", {"ENTER", "ENTER"}, "ENTER"},            // a repeat is no tie
                      SuggestionCase{"XYZZY", {"ENTER", "DELAY"}, ""},                 // far
                      SuggestionCase{"", {"UP"}, ""}));

}  // namespace
}  // namespace lumivane::test
