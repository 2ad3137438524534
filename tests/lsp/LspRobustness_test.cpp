// The life cycle and hostile input: every bad message gets the protocol's
// error answer or a diagnostic, and the server answers on afterwards.
#include <gtest/gtest.h>

#include <functional>

#include "LspTestSupport.h"

namespace lumivane::test {
namespace {

std::string Framed(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct ExitCase {
  std::string name;
  std::vector<std::string> methods;  // requests and notifications in order; "" closes the input
  int status;
};

class ExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitTest, ExitsWithTheProtocolsStatus) {
  LspClient client;
  client.Initialize();
  for (const std::string& method : GetParam().methods) {
    if (method.empty()) {
      client.CloseInput();
    } else if (method == "shutdown") {
      EXPECT_TRUE(client.Request(method, nullptr)["result"].is_null());
    } else {
      client.Notify(method, Json::object());
    }
  }
  EXPECT_EQ(client.WaitForExit(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitTest,
                         ::testing::Values(ExitCase{"ShutdownThenExit", {"shutdown", "exit"}, 0},
                                           ExitCase{"ExitAlone", {"exit"}, 1},
                                           ExitCase{"InputClosed", {""}, 1},
                                           ExitCase{"ShutdownThenInputClosed", {"shutdown", ""}, 0}),
                         [](const auto& info) { return info.param.name; });

TEST(LifecycleTest, RequestsBeforeInitializeAndAfterShutdownAreRefused) {
  LspClient client;
  EXPECT_EQ(client.Request("textDocument/hover", Json::object())["error"]["code"], -32002);
  client.Open(kUri, "<HEADER>\n<DELAY 1>\n<ENTRE>");  // dropped before initialize
  client.Initialize(Json::object(), {{"emulator", "English_US"}});
  EXPECT_EQ(client.Request("initialize", {{"capabilities", Json::object()}})["error"]["code"], -32600);
  EXPECT_EQ(client.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}})["error"]["code"],
            -32602);
  client.Request("shutdown", nullptr);
  EXPECT_EQ(client.Request("textDocument/hover", Json::object())["error"]["code"], -32600);
}

struct HostileCase {
  std::string name;
  // Sent after initialize and the opening of kUri; made in the test, so
  // that the large ones cost nothing in the other tests of the program.
  std::function<std::string()> bytes;
  int code;           // of the error answer
  Json id = nullptr;  // of the error answer
};

class HostileInputTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputTest, GetsAnErrorAnswerAndTheServerGoesOn) {
  LspClient client;
  client.Initialize(Json::object(), {{"emulator", "English_US"}});
  client.Open(kUri, "<HEADER>\n<DELAY 1>\n<01>ab");
  client.SendRaw(GetParam().bytes());
  const Json error = client.WaitFor([](const Json& m) { return m.contains("error"); });
  ASSERT_FALSE(error.is_null()) << "no error answer";
  EXPECT_EQ(error["error"]["code"], GetParam().code) << error.dump();
  EXPECT_EQ(error["id"], GetParam().id);
  const Json symbols = client.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}});
  EXPECT_EQ(symbols["result"].size(), 2u) << "the server answers on";
}

const std::string kHover = R"("method":"textDocument/hover","params":{"textDocument":{"uri":")" + kUri + R"("},)";

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileInputTest,
    ::testing::Values(
        HostileCase{"NotJson", [] { return Framed("{abc}"); }, -32700},
        HostileCase{"NotUtf8", [] { return Framed("{\"id\":1,\"method\":\"x\xff\"}"); }, -32700},
        HostileCase{"NotAnObject", [] { return Framed("[1,2]"); }, -32600},
        HostileCase{"UnknownMethod", [] { return Framed(R"({"jsonrpc":"2.0","id":7,"method":"no/such"})"); }, -32601, 7},
        HostileCase{"NoMethod", [] { return Framed(R"({"jsonrpc":"2.0","id":"a"})"); }, -32600, "a"},
        HostileCase{"BadId", [] { return Framed(R"({"jsonrpc":"2.0","id":{},"method":"shutdown"})"); }, -32600},
        HostileCase{"NoParams", [] { return Framed(R"({"jsonrpc":"2.0","id":3,"method":"textDocument/hover"})"); }, -32602, 3},
        HostileCase{"BadPosition", [] { return Framed(R"({"jsonrpc":"2.0","id":4,)" + kHover + R"("position":{"line":-1,"character":0}}})"); },
                    -32602, 4},
        HostileCase{"PositionNotANumber",
                    [] { return Framed(R"({"jsonrpc":"2.0","id":5,)" + kHover + R"("position":{"line":"x","character":0}}})"); }, -32602, 5},
        HostileCase{"UnknownDocument", [] { return Framed(R"({"jsonrpc":"2.0","id":6,"method":"textDocument/hover","params":{"textDocument":{"uri":"file:///none.pos"},"position":{"line":0,"character":0}}})"); },
                    -32602, 6},
        HostileCase{"HugeLength", [] { return std::string("Content-Length: 99999999999999999999999\r\n\r\n"); }, -32700},
        HostileCase{"LengthNotANumber", [] { return std::string("Content-Length: twelve\r\n\r\n"); }, -32700},
        HostileCase{"NoLengthHeader", [] { return std::string("Content-Type: application/vscode-jsonrpc\r\n\r\n"); }, -32700},
        HostileCase{"NoHeaderAtAll", [] { return std::string(R"({"jsonrpc":"2.0","id":9,"method":"shutdown"})"); }, -32700},
        HostileCase{"DeepNesting", [] { return Framed(std::string(100000, '[')); }, -32700},
        HostileCase{"HundredMegabytes",
                    [] { return Framed(R"({"jsonrpc":"2.0","id":8,"method":"x","params":")" + std::string(100'000'000, 'a') + "\"}"); },
                    -32600, 8}),
    [](const auto& info) { return info.param.name; });

TEST(HostileDocumentTest, TooLargeOrBinarySourcesGetDiagnostics) {
  LspClient client;
  client.Initialize(Json::object(), {{"emulator", "English_US"}});
  // Written out by hand: the JSON library takes seconds to escape 100 MB unoptimised.
  client.SendRaw(Framed(R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"languageId":"lumivane-pos","text":")" +
                        std::string(100'000'000, 'a') + R"(","uri":"file:///big.pos","version":1}}})"));
  const Json big = client.Diagnostics("file:///big.pos");
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(big[0]["code"], "message_too_large");
  std::string binary = "<HEADER>\n<DELAY 1>\n";
  for (int i = 0; i < 20000; ++i) binary += static_cast<char>(i % 128);
  client.Open("file:///binary.pos", binary);
  const Json diagnostics = client.Diagnostics("file:///binary.pos");
  ASSERT_FALSE(diagnostics.empty());
  EXPECT_LE(diagnostics.size(), 100u);
  // Positions beyond the text are taken as its end.
  const Json far = client.Request("textDocument/hover", {{"textDocument", {{"uri", "file:///binary.pos"}}},
                                                         {"position", {{"line", 100000}, {"character", 5}}}});
  EXPECT_TRUE(far.contains("result")) << far.dump();
}

// A burst of changes: every one is applied, the newest is what is
// published last, and a request after them is answered.
TEST(BurstTest, TheNewestVersionIsPublished) {
  LspClient client;
  client.Initialize(Json::object(), {{"emulator", "English_US"}});
  client.Open(kUri, "<HEADER>\n<DELAY 1>\n<01>");
  std::string burst;
  for (int version = 2; version <= 301; ++version) {
    const Json change = {{"range", {{"start", {{"line", 2}, {"character", version + 2}}},
                                    {"end", {{"line", 2}, {"character", version + 2}}}}},
                         {"text", version == 301 ? "\x01" : "a"}};
    const Json message = {{"jsonrpc", "2.0"},
                          {"method", "textDocument/didChange"},
                          {"params", {{"textDocument", {{"uri", kUri}, {"version", version}}}, {"contentChanges", {change}}}}};
    burst += Framed(message.dump());
  }
  client.SendRaw(burst);
  const Json last = client.WaitFor([](const Json& m) {
    return m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["version"] == 301;
  });
  ASSERT_FALSE(last.is_null());
  ASSERT_EQ(last["params"]["diagnostics"].size(), 1u);
  EXPECT_EQ(last["params"]["diagnostics"][0]["range"]["start"], Json({{"line", 2}, {"character", 303}}));
  EXPECT_TRUE(client.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}}).contains("result"));
}

}  // namespace
}  // namespace lumivane::test
