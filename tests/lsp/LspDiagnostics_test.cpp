// Diagnostics as lumivane-cli check reports them, at the editor's
// positions, and the quick fixes of their suggestions.
#include <gtest/gtest.h>

#include "LspTestSupport.h"

namespace lumivane::test {
namespace {

struct AgreementCase {
  std::string name;
  std::string bytes;  // the source in the layout's code page
  std::string emulator = "English_US";
  std::string keys = "120";
};

std::string Binary() {
  std::string bytes = "<HEADER>\n<DELAY 1>\n<01>";
  for (int round = 0; round < 3; ++round) {
    for (int byte = 0; byte < 256; ++byte) bytes += static_cast<char>(byte);
  }
  return bytes;
}

// Where check's line and byte column lie in the editor's terms: the
// protocol also ends a line at a lone CR, which check counts as a byte.
Json EditorPosition(const std::string& bytes, int line, int column) {
  std::size_t offset = 0;
  for (int i = 1; i < line; ++i) offset = bytes.find('\n', offset) + 1;
  offset += static_cast<std::size_t>(column - 1);
  int editorLine = 0;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    if (bytes[i] == '\n' || bytes[i] == '\r') {
      ++editorLine;
      lineStart = i + 1;
    }
  }
  return {{"line", editorLine}, {"character", offset - lineStart}};
}

class DiagnosticsAgreementTest : public ::testing::TestWithParam<AgreementCase> {};

// The same errors at the same places with the same messages: a UTF-16
// client counts one unit per byte of a single-byte code page.
TEST_P(DiagnosticsAgreementTest, AgreeWithCheck) {
  const AgreementCase& c = GetParam();
  TempDir dir;
  const std::vector<Json> report = CheckReport(dir, c.bytes, c.emulator, c.keys);
  LspClient client;
  client.Initialize(Json::object(), {{"emulator", c.emulator}, {"keys", c.keys}});
  client.Open(kUri, FromCodePage(c.bytes));
  const Json diagnostics = client.Diagnostics(kUri);
  ASSERT_TRUE(diagnostics.is_array());
  ASSERT_EQ(diagnostics.size(), report.size()) << diagnostics.dump(1);
  for (std::size_t i = 0; i < report.size(); ++i) {
    const Json& want = report[i];
    const Json& got = diagnostics[i];
    EXPECT_EQ(got["range"]["start"], EditorPosition(c.bytes, want["line"], want["column"])) << i;
    EXPECT_EQ(got["code"], want["kind"]) << i;
    EXPECT_EQ(got["message"], want["message"]) << i;
    EXPECT_EQ(got["source"], "lumivane");
    EXPECT_EQ(got["severity"], 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, DiagnosticsAgreementTest,
    ::testing::Values(
        AgreementCase{"Sample", ReadFile(SourceDir() + "/samples/Kt90NewConfig.pos")},
        AgreementCase{"ManyErrors",
                      "<HEADER>\n<DELAY 20>\n<01>caf\xe9<ENTRE>\n<02>\x01x<OUT 256>\n<231><KEY 5>\x80<TAB>\t<hoem>\n"},
        AgreementCase{"Header", "<HEADER 5>\r\n<DELY 3>\r\nabc"},
        AgreementCase{"BlankBeforeDelay", "<HEADER> <DELAY 2>\nabc"},
        AgreementCase{"NoHeader", "<01>caf<ENTER>\n"},
        AgreementCase{"NumberBeforeHeader", "25<HEADER>\n<DELAY 2>\na"},
        AgreementCase{"EndsInTag", "<HEADER>\n<DELAY 1>\n<01>ab<ENT"},
        AgreementCase{"TagOverLines", "<HEADER>\n<DELAY 1>\n<01><ENT\nRE>x"},
        AgreementCase{"OnlyHeader", "<HEADER>\n<DELAY 1>\n"},
        AgreementCase{"Binary", Binary()},
        AgreementCase{"TooLarge", "<HEADER>\n<DELAY 1>\n<01>" + std::string(70000, 'a')},
        AgreementCase{"German360", "<HEADER>\n<DELAY 1>\n<300>\xe4\xdf@<ENTER>\n<700>\xa4<ENTRE>", "German", "360"},
        AgreementCase{"Hebrew", "<HEADER>\n<DELAY 1>\n<01>\xf9\xec\xe5\xed\x01<ENTER>", "Israeli"}),
    [](const auto& info) { return info.param.name; });

// Positions count in the client's units: a character of several UTF-8
// bytes before an error moves it by one UTF-16 unit, or by its bytes.
TEST(DiagnosticPositionsTest, CountInTheNegotiatedUnits) {
  // 'é' (2 UTF-8 bytes), '€' (3), then U+1F600, which no code page has
  // (4 bytes, 2 UTF-16 units), then the error.
  const std::string line = "<01>\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80<ENTRE>";
  struct {
    Json capabilities;
    std::string encoding;
    int emoji, error;  // columns of the emoji and the error's '>'
  } cases[] = {
      {Json::object(), "utf-16", 6, 14},
      {{{"general", {{"positionEncodings", {"utf-8", "utf-16"}}}}}, "utf-8", 9, 19},
      {{{"general", {{"positionEncodings", {"utf-32"}}}}}, "utf-16", 6, 14},
  };
  for (const auto& c : cases) {
    LspClient client;
    const Json initialized = client.Initialize(c.capabilities, {{"emulator", "English_US"}});
    EXPECT_EQ(initialized["result"]["capabilities"]["positionEncoding"], c.encoding);
    client.Open(kUri, "<HEADER>\n<DELAY 1>\n" + line);
    const Json diagnostics = client.Diagnostics(kUri);
    ASSERT_EQ(diagnostics.size(), 2u) << diagnostics.dump(1);
    EXPECT_EQ(diagnostics[0]["code"], "not_in_code_page");
    EXPECT_NE(diagnostics[0]["message"].get<std::string>().find("U+1F600"), std::string::npos);
    EXPECT_EQ(diagnostics[0]["range"]["start"], Json({{"line", 2}, {"character", c.emoji}})) << c.encoding;
    EXPECT_EQ(diagnostics[1]["code"], "unknown_name");
    EXPECT_EQ(diagnostics[1]["range"]["start"], Json({{"line", 2}, {"character", c.error}})) << c.encoding;
  }
}

// Every suggestion is a preferred fix; applied, the source is clean.
TEST(QuickFixTest, SuggestionsRepairTheSource) {
  LspClient client;
  client.Initialize(Json::object(), {{"emulator", "English_US"}});
  std::string text = "<HEADER>\n<DELAY 1>\n<01>a<entre>b\n<02><rdelya><TB>\n";
  client.Open(kUri, text);
  ASSERT_EQ(client.Diagnostics(kUri).size(), 3u);
  const Json everything = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 9}, {"character", 0}}}};
  const Json actions = client.Request("textDocument/codeAction", {{"textDocument", {{"uri", kUri}}},
                                                                  {"range", everything},
                                                                  {"context", {{"diagnostics", Json::array()}}}});
  ASSERT_EQ(actions["result"].size(), 3u) << actions.dump(1);
  // Applied from the last to the first, so that earlier ranges stay put.
  for (auto action = actions["result"].rbegin(); action != actions["result"].rend(); ++action) {
    EXPECT_EQ((*action)["kind"], "quickfix");
    EXPECT_EQ((*action)["isPreferred"], true);
    const Json& edit = (*action)["edit"]["changes"][kUri][0];
    const int line = edit["range"]["start"]["line"], begin = edit["range"]["start"]["character"],
              end = edit["range"]["end"]["character"];
    ASSERT_EQ(edit["range"]["end"]["line"], line);
    std::size_t lineStart = 0;
    for (int i = 0; i < line; ++i) lineStart = text.find('\n', lineStart) + 1;
    text.replace(lineStart + begin, end - begin, edit["newText"].get<std::string>());
  }
  EXPECT_EQ(text, "<HEADER>\n<DELAY 1>\n<01>a<ENTER>b\n<02><RDELAY><TAB>\n");
  client.Notify("textDocument/didChange",
                {{"textDocument", {{"uri", kUri}, {"version", 2}}}, {"contentChanges", {{{"text", text}}}}});
  EXPECT_EQ(client.Diagnostics(kUri), Json::array());
  // A cursor on one tag gets its fix alone.
  const Json cursor = {{"start", {{"line", 2}, {"character", 7}}}, {"end", {{"line", 2}, {"character", 7}}}};
  client.Notify("textDocument/didChange",
                {{"textDocument", {{"uri", kUri}, {"version", 3}}},
                 {"contentChanges", {{{"range", cursor}, {"text", "X"}}}}});
  ASSERT_EQ(client.Diagnostics(kUri).size(), 1u);
  const Json one = client.Request("textDocument/codeAction", {{"textDocument", {{"uri", kUri}}},
                                                              {"range", cursor},
                                                              {"context", {{"diagnostics", Json::array()}}}});
  ASSERT_EQ(one["result"].size(), 1u) << one.dump(1);
  EXPECT_EQ(one["result"][0]["edit"]["changes"][kUri][0]["newText"], "<ENTER>");
}

}  // namespace
}  // namespace lumivane::test
