#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "TestPaths.h"
#include "translator/EmulatorTable.h"

namespace lumivane {
namespace {

using List = std::vector<unsigned>;

class EmulatorTableTest : public ::testing::Test {
 protected:
  EmulatorTable& Load(const std::string& bytes) {
    const std::string path = dir + "layout.emu";
    table.reset();  // a file is replaced only once its table is gone
    EXPECT_TRUE(test::WriteFile(path, bytes));
    table = std::make_unique<EmulatorTable>(path);
    return *table;
  }

  // Every number of a name's entry, as the image builder reads them.
  std::vector<unsigned> Numbers(const char* name) {
    std::vector<unsigned> out;
    if (!table->FindName(name)) return {999};
    for (unsigned n = table->NextNumber(); n != 0; n = table->NextNumber()) out.push_back(n);
    return out;
  }

  test::TempDir temp;
  const std::string dir = temp.path();
  std::unique_ptr<EmulatorTable> table;
};

TEST_F(EmulatorTableTest, LoadFailuresCarryTheirCodeAndAnswerNothing) {
  EXPECT_EQ(EmulatorTable("/nonexistent/layout.emu").Failure(), EmulatorFailure::CannotOpen);
  EXPECT_EQ(EmulatorTable(dir).Failure(), EmulatorFailure::CannotOpen);
  EXPECT_EQ(Load("").Failure(), EmulatorFailure::CannotMap);
  EmulatorTable& nine = Load("a=28\nb=50");  // 9 bytes
  EXPECT_FALSE(nine.IsLoaded());
  EXPECT_EQ(nine.Failure(), EmulatorFailure::TooShort);
  EXPECT_FALSE(nine.FindName("a"));
  EXPECT_EQ(nine.NextNumber(), 0u);
  EXPECT_EQ(nine.CharForCode(28), 0);
  EmulatorTable& ten = Load("a=28\nb=50\n");
  EXPECT_TRUE(ten.IsLoaded());
  EXPECT_EQ(ten.Failure(), EmulatorFailure::None);
}

TEST_F(EmulatorTableTest, LastByteNeverSeparatesLines) {
  EXPECT_EQ(Load("a=28\nb=50\n").LineCount(), 2);
  EXPECT_EQ(Load("a=28\nb=50\nc").LineCount(), 3);
  EXPECT_EQ(Load("a=28\nb=50\n\n").LineCount(), 3);
}

TEST_F(EmulatorTableTest, NumberListsEndAtZeroGapsTenthDigitAndLineEnd) {
  Load("a=28\nb=28,0,30\nc=\nd=12,\ne=1234567890,7\nf=18,28\r\ng=300,65\n"
       "h=5, 6\ni=1,2,3");  // the last line ends at the end of the file, mid-list
  EXPECT_EQ(Numbers("a"), List({28}));
  EXPECT_EQ(Numbers("b"), List({28}));
  EXPECT_EQ(Numbers("c"), List({}));
  EXPECT_EQ(Numbers("d"), List({12}));
  EXPECT_EQ(Numbers("e"), List({123456789}));
  EXPECT_EQ(Numbers("f"), List({18, 28}));
  EXPECT_EQ(Numbers("g"), List({300, 65}));
  EXPECT_EQ(Numbers("h"), List({5}));
  EXPECT_EQ(Numbers("i"), List({1, 2, 3}));
  EXPECT_EQ(table->NextNumber(), 0u);  // stays ended
}

TEST_F(EmulatorTableTest, NamesMatchWholeAndCaseSensitiveFirstLineWins) {
  Load("ab=5\nENTER=90\na=7\na=8\n==85\n =41\na=b=3\nx");
  EXPECT_EQ(Numbers("a"), List({7}));
  EXPECT_EQ(Numbers("ab"), List({5}));
  EXPECT_FALSE(table->FindName("enter"));
  EXPECT_FALSE(table->FindName("ENTE"));
  EXPECT_FALSE(table->FindName(""));
  EXPECT_FALSE(table->FindName("x"));
  EXPECT_EQ(Numbers("="), List({85}));
  EXPECT_EQ(Numbers(" "), List({41}));
  EXPECT_EQ(Numbers("a=b"), List({3}));  // a name holding '=' still matches by prefix
}

TEST_F(EmulatorTableTest, CharForCodeTakesFirstSingleCharacterLineByFirstNumber) {
  Load("A=18,28\nKP0=28\na=28\nq=28\nz=\n");
  EXPECT_EQ(table->CharForCode(28), 'a');
  EXPECT_EQ(table->CharForCode(18), 'A');
  EXPECT_EQ(table->CharForCode(0), 'z');  // a line without numbers reads as 0
  EXPECT_EQ(table->CharForCode(99), 0);
  EXPECT_EQ(table->CharForCode(-1), 0);
  EXPECT_EQ(table->CharForCode(4294967296L + 28), 0);
}

// The indexes fill as lookups need them and grow past their first size:
// whatever the order of the lookups, each answer is the first line in file
// order, as a plain scan gives it.
TEST_F(EmulatorTableTest, AnswersInAnyOrderAreThoseOfAScanInFileOrder) {
  std::string text = "z=70000\n";
  std::map<std::string, unsigned> firstNumber{{"z", 70000}};
  for (unsigned i = 0; i < 6000; ++i) {
    const std::string name = "K" + std::to_string(i % 5000);  // the last 1,000 repeat a name
    text += name + "=" + std::to_string(i + 1) + "\n";
    firstNumber.emplace(name, i + 1);
  }
  text += "y=70000\nq=300\nz=5\n";
  firstNumber.emplace("y", 70000);
  firstNumber.emplace("q", 300);
  Load(text);
  for (auto it = firstNumber.rbegin(); it != firstNumber.rend(); ++it) {
    EXPECT_EQ(Numbers(it->first.c_str()), List({it->second})) << it->first;
  }
  EXPECT_FALSE(table->FindName("K5000"));
  EXPECT_EQ(table->CharForCode(300), 'q');
  EXPECT_EQ(table->CharForCode(70000), 'z');
  EXPECT_EQ(table->CharForCode(5), 'z');  // by code: a second line of z answers too
  EXPECT_EQ(table->CharForCode(6), 0);
}

}  // namespace
}  // namespace lumivane
