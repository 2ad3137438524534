// The exit-status table of --help is the one the README and the man page
// show: the same rows, in the same order, with the same words.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestPaths.h"
#include "common/ExitStatus.h"

namespace lumivane::test {
namespace {

struct Row {
  std::string codes, meaning;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.codes << " | " << row.meaning; }

std::vector<Row> HelpRows() {
  std::vector<Row> rows;
  for (const exit_status::Entry& entry : exit_status::kTable) rows.push_back({entry.codes, entry.meaning});
  return rows;
}

std::string Without(std::string text, const std::string& markup) {
  for (std::size_t at; (at = text.find(markup)) != std::string::npos;) text.erase(at, markup.size());
  return text;
}

// The rows of the README's table: "| codes | meaning |", code spans as plain text.
std::vector<Row> ReadmeRows(const std::string& readme) {
  std::vector<Row> rows;
  std::istringstream lines(readme.substr(readme.find("| status | meaning |")));
  std::string line;
  std::getline(lines, line);
  std::getline(lines, line);  // |---|---|
  while (std::getline(lines, line) && line.rfind("| ", 0) == 0) {
    const std::size_t middle = line.find(" | ");
    rows.push_back({line.substr(2, middle - 2), Without(line.substr(middle + 3, line.size() - middle - 5), "`")});
  }
  return rows;
}

// The text of one line of roff: ".B x" and ".BR x y" without their fonts,
// a quoted argument without its quotes, "\-" as "-".
std::string RoffText(const std::string& line) {
  std::string text = line;
  bool joinArguments = false;
  if (text.rfind(".B ", 0) == 0) text.erase(0, 3);
  if (text.rfind(".BR ", 0) == 0) {
    text.erase(0, 4);
    joinArguments = true;
  }
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  if (joinArguments) text = Without(text, " ");
  return Without(Without(text, "\\"), "\"");
}

// The entries of the man page's EXIT STATUS section: ".TP", the codes, the
// meaning; the paragraph after them (".PP") is not part of the table.
std::vector<Row> ManRows(const std::string& page) {
  std::vector<Row> rows;
  const std::size_t start = page.find(".SH EXIT STATUS\n");
  std::istringstream lines(page.substr(start, page.find("\n.SH ", start + 1) - start));
  std::string line;
  while (std::getline(lines, line)) {
    if (line == ".TP") {
      std::getline(lines, line);
      rows.push_back({RoffText(line), {}});
    } else if (line.rfind(".PP", 0) == 0) {
      break;
    } else if (!rows.empty()) {
      // roff joins its input lines with a blank.
      std::string& meaning = rows.back().meaning;
      meaning += (meaning.empty() ? "" : " ") + RoffText(line);
    }
  }
  return rows;
}

TEST(ExitStatusDocs, TheReadmeAndTheManPageShowTheHelpTable) {
  EXPECT_EQ(ReadmeRows(ReadFile(SourceDir() + "/README.md")), HelpRows());
  EXPECT_EQ(ManRows(ReadFile(SourceDir() + "/packaging/man/lumivane-cli.1")), HelpRows());
}

}  // namespace
}  // namespace lumivane::test
