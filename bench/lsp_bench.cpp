// The language server in-process: from a one-character change in a 64 KiB
// source to its published diagnostics (parsing the change, applying it,
// translating, serialising the answer), and the memory that 50 open
// sources of that size keep.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>
#include <vector>

#include "TestPaths.h"
#include "lsp/LanguageServer.h"

namespace {

using lumivane::lsp::Json;

class BenchEnvironment : public lumivane::lsp::ServerEnvironment {
 public:
  lumivane::lsp::PartialChoice SettingsFileChoice() override { return {}; }
  std::unique_ptr<lumivane::lsp::LoadedLayout> LoadLayout(const std::string&) override {
    const std::string path = lumivane::test::SourceDir() + "/emulators/English_US.emu";
    return lumivane::lsp::LoadedLayout::FromFile(path, path, {});
  }
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
};

// A till's source of 64 KiB: 360 keys of text and named keys with comments
// between them, defined over again until the size is reached; `variant`
// makes each source differ.
std::string MakeSource(int variant) {
  std::string source = "<HEADER>\n<DELAY 20>\n";
  for (int line = 0; source.size() < 64 * 1024 - 100; ++line) {
    const int key = line % 360 + 1;
    source += "<KEY " + std::to_string(key) + ">cashier " + std::to_string(variant) + "<TAB>" +
              std::to_string(1000 + line) + "<ENTER>\n<REM department " + std::to_string(key) + ">\n";
  }
  return source;
}

Json Message(const std::string& method, const Json& params, int id = 0) {
  Json message = {{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
  if (id != 0) message["id"] = id;
  return message;
}

// The server as the message pump feeds it: a text in, framed answers out.
struct Server {
  BenchEnvironment environment;
  std::size_t sentBytes = 0;
  std::string lastDiagnostics;
  lumivane::lsp::LanguageServer server{environment, [this](const Json& message) {
    const std::string framed = lumivane::lsp::FrameMessage(lumivane::lsp::Serialize(message));
    sentBytes += framed.size();
    if (message.value("method", "") == "textDocument/publishDiagnostics") lastDiagnostics = framed;
  }};

  void Take(const Json& message) {
    lumivane::lsp::Frame frame;
    frame.kind = lumivane::lsp::Frame::Kind::Message;
    frame.body = message.dump();
    server.Handle(lumivane::lsp::ReadIncoming(std::move(frame)));
  }
  void Start() {
    Take(Message("initialize", {{"capabilities", Json::object()}, {"initializationOptions", {{"keys", "360"}}}}, 1));
    Take(Message("initialized", Json::object()));
  }
  void Open(const std::string& uri, const std::string& text) {
    Take(Message("textDocument/didOpen",
                 {{"textDocument", {{"uri", uri}, {"languageId", "lumivane-pos"}, {"version", 1}, {"text", text}}}}));
    while (server.DoPendingWork()) {
    }
  }
};

void BM_OneCharacterChangeToDiagnostics(benchmark::State& state) {
  Server server;
  server.Start();
  const std::string source = MakeSource(0);
  server.Open("file:///till.pos", source);
  // An 'x' typed into the middle of a line, then taken out again.
  const Json at = {{"line", 700}, {"character", 9}};
  const Json insert = {{"range", {{"start", at}, {"end", at}}}, {"text", "x"}};
  const Json remove = {{"range", {{"start", at}, {"end", {{"line", 700}, {"character", 10}}}}}, {"text", ""}};
  int version = 1;
  for (auto _ : state) {
    ++version;
    server.Take(Message("textDocument/didChange",
                        {{"textDocument", {{"uri", "file:///till.pos"}, {"version", version}}},
                         {"contentChanges", {version % 2 == 0 ? insert : remove}}}));
    server.server.DoPendingWork();
  }
  if (server.lastDiagnostics.find("\"diagnostics\":[]") == std::string::npos) state.SkipWithError("the source has errors");
  state.counters["sourceBytes"] = static_cast<double>(source.size());
}
BENCHMARK(BM_OneCharacterChangeToDiagnostics)->Unit(benchmark::kMillisecond);

void BM_MemoryOf50OpenSources(benchmark::State& state) {
  for (auto _ : state) {
    const std::size_t before = mallinfo2().uordblks;
    {
      Server server;
      server.Start();
      for (int i = 0; i < 50; ++i) server.Open("file:///till" + std::to_string(i) + ".pos", MakeSource(i));
      const std::size_t used = mallinfo2().uordblks - before;
      state.counters["totalMiB"] = static_cast<double>(used) / (1024 * 1024);
      state.counters["KiBPerSource"] = static_cast<double>(used) / 1024 / 50;
    }
  }
}
BENCHMARK(BM_MemoryOf50OpenSources)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
