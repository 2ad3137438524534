// The message stream in-process: framing and its recovery, what a message
// too large is answered from, and cancellation.
#include <gtest/gtest.h>

#include <cstring>

#include "lsp/JsonRpc.h"
#include "lsp/LanguageServer.h"
#include "lsp/MessageFraming.h"

namespace lumivane::lsp {
namespace {

// Hands short streams out a few bytes at a time, so that every boundary is
// crossed, and long ones in blocks.
class ChunkedSource : public ByteSource {
 public:
  explicit ChunkedSource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t chunk = bytes_.size() > 100000 ? 65536 : 7;
    const std::size_t count = std::min({size, bytes_.size() - at_, chunk});
    std::memcpy(buffer, bytes_.data() + at_, count);
    at_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

std::string Framed(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body; }

// "M:<body>", "B" (bad header), "T:<declared length>" and "E" for each frame until the end.
std::vector<std::string> FramesOf(const std::string& bytes) {
  ChunkedSource source(bytes);
  FrameReader reader(source);
  std::vector<std::string> frames;
  for (;;) {
    const Frame frame = reader.Next();
    switch (frame.kind) {
      case Frame::Kind::Message: frames.push_back("M:" + frame.body); break;
      case Frame::Kind::BadHeader: frames.push_back("B"); break;
      case Frame::Kind::TooLarge: frames.push_back("T:" + std::to_string(frame.declaredLength)); break;
      case Frame::Kind::End: frames.push_back("E"); return frames;
    }
  }
}

struct FramingCase {
  std::string name;
  std::string bytes;
  std::vector<std::string> frames;
};

// A message too large, then one that is not: made in its test alone.
TEST(FramingTest, ReadsAMessageTooLargeThrough) {
  const std::string large(kMaxMessageBytes + 1, 'x');
  EXPECT_EQ(FramesOf(Framed(large) + Framed("{}")),
            (std::vector<std::string>{"T:" + std::to_string(large.size()), "M:{}", "E"}));
}

class FramingStreamTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingStreamTest, SplitsAndRecovers) { EXPECT_EQ(FramesOf(GetParam().bytes), GetParam().frames); }


INSTANTIATE_TEST_SUITE_P(
    Streams, FramingStreamTest,
    ::testing::Values(
        FramingCase{"TwoMessages", Framed("{}") + Framed("[1]"), {"M:{}", "M:[1]", "E"}},
        FramingCase{"AnyCaseOtherHeadersLf",
                    "content-length:3\nContent-Type: application/vscode-jsonrpc; charset=utf-8\n\nabc\r\n\r\n" +
                        Framed("{}"),
                    {"M:abc", "M:{}", "E"}},
        FramingCase{"JunkBeforeTheHeader", "garbage Content-Length: 2\r\n\r\n{}", {"B", "M:{}", "E"}},
        FramingCase{"NoLength", "Content-Type: x\r\n\r\n" + Framed("{}"), {"B", "M:{}", "E"}},
        FramingCase{"LengthNotANumber", "Content-Length: 1e3\r\n\r\n" + Framed("{}"), {"B", "M:{}", "E"}},
        FramingCase{"LengthBeyondAnyMessage", "Content-Length: 18446744073709551616\r\n\r\n" + Framed("{}"),
                    {"B", "M:{}", "E"}},
        FramingCase{"JsonWithoutHeader", R"({"id":1,"x":"}{"})" + Framed("{}"), {"B", "M:{}", "E"}},
        FramingCase{"LongHeaderLine", std::string(20000, 'h') + "\r\n\r\n" + Framed("{}"), {"B", "M:{}", "E"}},
        FramingCase{"BodyCutShort", "Content-Length: 10\r\n\r\nabc", {"E"}},
        FramingCase{"Empty", "", {"E"}}),
    [](const auto& info) { return info.param.name; });

// The facts of a message too large, wherever its members stand.
TEST(TooLargeTest, IdMethodAndDocumentComeFromEitherEnd) {
  const std::string text(kMaxMessageBytes, 'a');
  const struct {
    std::string body;
    Json id;
    std::string uri;
  } cases[] = {
      {R"({"id":5,"method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///a.pos","text":")" + text +
           "\"}}}",
       5, "file:///a.pos"},
      {R"({"method":"textDocument/didOpen","params":{"textDocument":{"text":")" + text +
           R"(\"uri\":\"file:///not.pos\"","uri":"file:///b.pos"}},"id":"x"})",
       "x", "file:///b.pos"},
  };
  for (const auto& c : cases) {
    ChunkedSource source(Framed(c.body));
    FrameReader reader(source);
    const Incoming incoming = ReadIncoming(reader.Next());
    EXPECT_EQ(incoming.kind, Incoming::Kind::Unreadable);
    EXPECT_EQ(incoming.id, c.id);
    EXPECT_EQ(incoming.method, "textDocument/didOpen");
    EXPECT_EQ(incoming.uri, c.uri);
  }
}

class FixedEnvironment : public ServerEnvironment {
 public:
  PartialChoice SettingsFileChoice() override { return {}; }
  std::unique_ptr<LoadedLayout> LoadLayout(const std::string&) override {
    return LoadedLayout::FromBytes("a=28\nENTER=90\n", "Small");
  }
  std::chrono::steady_clock::time_point Now() override { return {}; }
};

TEST(CancellationTest, ACancelledRequestIsAnsweredAsCancelled) {
  FixedEnvironment environment;
  std::vector<Json> sent;
  LanguageServer server(
      environment, [&](const Json& message) { sent.push_back(message); },
      [](const Json& id) { return id == 2; });
  auto request = [&](int id, const std::string& method, const Json& params) {
    Incoming incoming;
    incoming.kind = Incoming::Kind::Message;
    incoming.message = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
    server.Handle(incoming);
  };
  request(1, "initialize", {{"capabilities", Json::object()}});
  request(2, "shutdown", nullptr);
  request(3, "shutdown", nullptr);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1]["error"]["code"], error_code::kRequestCancelled);
  EXPECT_TRUE(sent[2].contains("result"));
}

}  // namespace
}  // namespace lumivane::lsp
