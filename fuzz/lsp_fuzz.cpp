// libFuzzer target: the language server's message handling. The input is
// the byte stream a client writes (framing, JSON, any method and params);
// whatever it holds, every message the server sends back is a JSON object
// that serialises and parses again, an error answer has a code, and the
// server ends its work. Layouts come from memory: no file is touched.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzTranslationInput.h"
#include "lsp/LanguageServer.h"
#include "lsp/MessageFraming.h"
#include "translator/ImageBuilder.h"

namespace {

using fuzzing::Check;
using lumivane::lsp::Json;

constexpr const char kLayout[] =
    "# Lumivane keyboard emulator Small: code page 1252.\n"
    "a=28\nb=50\nc=33\nA=18,28\n1=22\n =41\n\xe9=17,112,114,107,105\n"
    "ENTER=90\nTAB=13\nUP=224,117\nF1=5\n";

class MemoryEnvironment : public lumivane::lsp::ServerEnvironment {
 public:
  lumivane::lsp::PartialChoice SettingsFileChoice() override { return {}; }
  std::unique_ptr<lumivane::lsp::LoadedLayout> LoadLayout(const std::string& emulator) override {
    // Any name but "Missing" is the small layout, so that a choice can fail too.
    return lumivane::lsp::LoadedLayout::FromBytes(emulator == "Missing" ? "" : kLayout, "Small");
  }
  // Each look at the clock is a second later: a wait for the client's answer ends.
  std::chrono::steady_clock::time_point Now() override { return now_ += std::chrono::seconds(1); }

 private:
  std::chrono::steady_clock::time_point now_{};
};

class MemorySource : public lumivane::lsp::ByteSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, size_ - at_);
    std::memcpy(buffer, data_ + at_, count);
    at_ += count;
    return count;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void CheckSent(const Json& message) {
  Check(message.is_object(), "every message is an object");
  const Json again = Json::parse(lumivane::lsp::Serialize(message), nullptr, false);
  Check(again.is_object(), "every message serialises as JSON");
  if (message.contains("error")) Check(message["error"]["code"].is_number_integer(), "an error has a code");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryEnvironment environment;
  // One image buffer for every input, as the translator's targets keep one.
  static lumivane::ImageBuilder builder;
  lumivane::lsp::LanguageServer server(environment, CheckSent, {}, &builder);
  MemorySource source(data, size);
  lumivane::lsp::FrameReader frames(source);
  while (!server.finished()) {
    server.Handle(lumivane::lsp::ReadIncoming(frames.Next()));
    while (server.DoPendingWork()) {
    }
  }
  return 0;
}
