#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "translator/SourceReader.h"
#include "translator/TagLexer.h"

namespace lumivane {
namespace {

struct TagCase {
  std::string text;  // what follows the '<'
  std::string name;
  int value;
};

// Reads one tag whose '<' has just been delivered.
TagCase Lex(const std::string& afterOpening) {
  const std::string bytes = "<" + afterOpening;
  SourceReader reader;
  reader.OpenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  reader.ReadChar();
  TagLexer lexer(reader);
  const int value = lexer.ReadTag();
  return {afterOpening, lexer.tagName(), value};
}

TEST(TagLexerTest, SplitsNameAndNumberAsTheTagTableSays) {
  const std::vector<TagCase> cases = {
      {"DELAY 5>", "DELAY", 5},      {"DELAY=5>", "DELAY", 5},
      {"delay 5>", "DELAY", 5},      {"DELAY  5>", "DELAY", 0},
      {"DELAY>", "DELAY", 0},        {"DELAY >", "DELAY", 0},
      {"DELAY 5 6>", "DELAY", 5},    {"DELAY -5>", "DELAY", -5},
      {"5>", "5", 5},                {"5 >", "5", 5},
      {"120>", "120", 120},          {" 5>", "", 0},
      {"KEY 7>", "KEY", 7},          {"REM any text>", "REM", 0},
      {"WAITACK 1234567890>", "WAITACK", 1234567},
      {"ABCDEFGHIJKLMNOPQ>", "ABCDEFGHIJKLMNO", 0},
      {">X>", ">X", 0},              {"DELAY\n5>", "DELAY5", 0},
      {"DELAY\r\n5>", "DELAY5", 0},  {"KEY +7>", "KEY", 7},
      {"KEY \t7>", "KEY", 7},        {"k\xe9y 2>", "K\xe9Y", 2},
      {"999999999999999>", "999999999999999", static_cast<int>(999999999999999LL & 0xFFFFFFFF)},
      {"DELAY 5", "DELAY", -1},      {"", "", -1},
      {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNO", -1},
  };
  for (const TagCase& c : cases) {
    const TagCase got = Lex(c.text);
    if (c.value != -1) {
      EXPECT_EQ(got.name, c.name) << c.text;
    }
    EXPECT_EQ(got.value, c.value) << c.text;
  }
}

TEST(SourceReaderTest, DropsLineEndsCountsLinesAndStaysEnded) {
  const std::string bytes = std::string("a\r\nb\n\x1a\0c", 8);
  SourceReader reader;
  reader.OpenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  std::string delivered;
  std::vector<int> lines;
  while (reader.ReadChar() == 0) {
    delivered += static_cast<char>(reader.currentChar());
    lines.push_back(reader.lineNumber());
  }
  EXPECT_EQ(delivered, std::string("ab\x1a\0c", 5));
  EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 3, 3}));
  EXPECT_EQ(reader.currentChar(), 'c');  // unchanged by the end
  EXPECT_NE(reader.ReadChar(), 0);
  TagLexer lexer(reader);
  EXPECT_EQ(lexer.ReadTag(), -1);
}

TEST(SourceReaderTest, RefreshesCounterEveryFourthLineAndWrapsAt16Bits) {
  const std::string bytes(65540, '\n');
  SourceReader reader;
  std::vector<std::string> shown;
  reader.SetLineCounterCallback([&](const std::string& text) { shown.push_back(text); });
  reader.OpenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), 11);
  while (reader.ReadChar() == 0) {}
  EXPECT_EQ(shown, (std::vector<std::string>{"00004", "00008", "00012"}));
  reader.OpenBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  while (reader.ReadChar() == 0) {}
  EXPECT_EQ(reader.lineNumber(), 5);  // 65541 lines counted in 16 bits
  EXPECT_EQ(shown[shown.size() - 2], "00000");  // line 65536 wrapped
}

}  // namespace
}  // namespace lumivane
