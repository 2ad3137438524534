// Completion, hover, document symbols and inlay hints on a till's source.
#include <gtest/gtest.h>

#include <set>

#include "LspTestSupport.h"

namespace lumivane::test {
namespace {

const std::string kSource =
    "<HEADER>\n"
    "<DELAY 20>\n"
    "<01>ab<ENTER>\n"
    "<REM keys two and three>\n"
    "<02><DELAY 5><UP>\n"
    "<03>\n"
    "<01>c\n"
    "<";

Json At(int line, int character) { return {{"line", line}, {"character", character}}; }

class FeatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.Initialize({{"textDocument", {{"completion", {{"completionItem", {{"snippetSupport", true}}}}}}}},
                      {{"lumivane", {{"emulator", "English_US"}, {"keys", 120}}}});
    client.Open(kUri, kSource);
    client.Diagnostics(kUri);
  }
  Json Ask(const std::string& method, Json params) {
    params["textDocument"] = {{"uri", kUri}};
    return client.Request(method, params)["result"];
  }
  LspClient client;
};

TEST_F(FeatureTest, CompletionOffersTagsKeyNamesAndFreeKeys) {
  const Json result = Ask("textDocument/completion", {{"position", At(7, 1)}});
  std::map<std::string, Json> items;
  for (const Json& item : result["items"]) items[item["label"]] = item;
  ASSERT_TRUE(items.count("DELAY"));
  EXPECT_EQ(items["DELAY"]["insertTextFormat"], 2);
  EXPECT_EQ(items["DELAY"]["textEdit"]["newText"], "DELAY ${1:20}>");
  EXPECT_EQ(items["DELAY"]["textEdit"]["range"], Json({{"start", At(7, 1)}, {"end", At(7, 1)}}));
  EXPECT_FALSE(items["DELAY"]["detail"].get<std::string>().empty());
  EXPECT_EQ(items["RDELAY"]["textEdit"]["newText"], "RDELAY>");
  for (const char* name : {"ENTER", "TAB", "F12", "KPENTER", "PGDN"}) EXPECT_TRUE(items.count(name)) << name;
  EXPECT_NE(items["ENTER"]["detail"].get<std::string>().find("90"), std::string::npos);
  // Keys 1 to 3 are defined; 4 to 120 are offered, nothing above.
  for (const char* key : {"01", "02", "03", "121", "230"}) EXPECT_FALSE(items.count(key)) << key;
  for (const char* key : {"04", "99", "120"}) EXPECT_TRUE(items.count(key)) << key;
  EXPECT_FALSE(items.count("HEADER"));
  // Outside a tag nothing is offered.
  EXPECT_TRUE(Ask("textDocument/completion", {{"position", At(2, 6)}}).empty());
}

TEST_F(FeatureTest, CompletionInsideATagReplacesItsName) {
  const Json change = {{"range", {{"start", At(7, 1)}, {"end", At(7, 1)}}}, {"text", "EN>"}};
  client.Notify("textDocument/didChange",
                {{"textDocument", {{"uri", kUri}, {"version", 2}}}, {"contentChanges", Json::array({change})}});
  const Json result = Ask("textDocument/completion", {{"position", At(7, 3)}});
  for (const Json& item : result["items"]) {
    if (item["label"] != "ENTER") continue;
    EXPECT_EQ(item["textEdit"]["newText"], "ENTER") << "the '>' is there already";
    EXPECT_EQ(item["textEdit"]["range"], Json({{"start", At(7, 1)}, {"end", At(7, 3)}}));
    return;
  }
  FAIL() << "no ENTER";
}

struct HoverCase {
  Json position;
  std::vector<std::string> parts;  // each in the hover's text; none when nothing is shown
};

TEST_F(FeatureTest, HoverTellsWhatAThingMeans) {
  const HoverCase cases[] = {
      // key 1 types a, b, Enter: its 0xFF and three codes
      {At(2, 1), {"**Key 1**: 4 bytes", "ab<ENTER>", "Defined again on line 7"}},
      {At(4, 2), {"**Key 2**: 6 bytes", "<DELAY 5><UP>"}},
      {At(5, 2), {"**Key 3**: 1 byte", "(nothing)"}},
      {At(2, 8), {"<ENTER>", "scan codes 90", "English_US"}},
      {At(4, 14), {"scan codes 224, 117"}},
      {At(2, 4), {"'a'", "scan codes 28"}},
      {At(4, 6), {"<DELAY 5>", "pauses", "3 bytes"}},
      {At(0, 3), {"**Header**: default delay 20", "of the keypad's 64 KiB", "120 keys", "errors"}},
      {At(3, 8), {"a comment"}},
      {At(2, 13), {}},   // a line end
      {At(40, 0), {}},   // past the end
  };
  for (const HoverCase& c : cases) {
    const Json hover = Ask("textDocument/hover", {{"position", c.position}});
    if (c.parts.empty()) {
      EXPECT_TRUE(hover.is_null()) << c.position << hover;
      continue;
    }
    ASSERT_TRUE(hover.is_object()) << c.position;
    const std::string text = hover["contents"]["value"];
    for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }
}

TEST_F(FeatureTest, SymbolsAndInlayHintsFollowTheKeys) {
  const Json symbols = Ask("textDocument/documentSymbol", Json::object());
  std::vector<std::string> names;
  for (const Json& symbol : symbols) names.push_back(symbol["name"]);
  EXPECT_EQ(names, (std::vector<std::string>{"Header", "Key 1", "Key 2", "Key 3", "Key 1"}));
  // Without hierarchical support: SymbolInformation with a location.
  EXPECT_EQ(symbols[1]["location"]["range"], Json({{"start", At(2, 0)}, {"end", At(3, 24)}})) << "the comment is part of it";

  const Json hints = Ask("textDocument/inlayHint", {{"range", {{"start", At(0, 0)}, {"end", At(5, 0)}}}});
  std::vector<std::pair<Json, std::string>> seen;
  for (const Json& hint : hints) seen.emplace_back(hint["position"], hint["label"]);
  EXPECT_EQ(seen, (std::vector<std::pair<Json, std::string>>{{At(2, 4), "4 bytes"}, {At(4, 4), "6 bytes"}}));
}

TEST(HierarchicalSymbolsTest, CarryRangeSelectionAndDetail) {
  LspClient client;
  client.Initialize({{"textDocument", {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", true}}}}}},
                    {{"emulator", "English_US"}});
  client.Open(kUri, "<HEADER>\n<DELAY 7>\n<05>abc\n\n");
  client.Diagnostics(kUri);
  const Json symbols = client.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}})["result"];
  ASSERT_EQ(symbols.size(), 2u);
  EXPECT_EQ(symbols[0]["detail"], "DELAY 7");
  EXPECT_EQ(symbols[1]["detail"], "4 bytes");
  EXPECT_EQ(symbols[1]["range"], Json({{"start", At(2, 0)}, {"end", At(2, 7)}}));
  EXPECT_EQ(symbols[1]["selectionRange"], Json({{"start", At(2, 0)}, {"end", At(2, 4)}}));
}

}  // namespace
}  // namespace lumivane::test
