// Translation speed: a source that fills an image of about 65,000 bytes over
// 690 keys, and emulator lookups through the table's index against a plain
// scan over the lines in file order.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "TestPaths.h"
#include "translator/EmulatorTable.h"
#include "translator/ImageBuilder.h"

namespace {

// A 300-line layout: 200 key names ahead of the 95 printable characters, so
// a scan in file order walks far for every plain character.
std::string MakeLayout() {
  std::string layout;
  for (int i = 0; i < 200; ++i) layout += "NAMEDKEY" + std::to_string(i) + "=224," + std::to_string(i % 120 + 1) + "\n";
  for (int c = 0x20; c < 0x7F; ++c) {
    layout += static_cast<char>(c);
    layout += c >= 'A' && c <= 'Z' ? "=18," + std::to_string(c) + "\n" : "=" + std::to_string(c) + "\n";
  }
  for (const char* name : {"ENTER=90", "TAB=13", "ESC=118", "F1=5", "F5=3"}) layout += std::string(name) + "\n";
  return layout;
}

// 690 keys of text, named keys and delays: about 65,000 image bytes.
std::string MakeSource() {
  std::string source = "<HEADER>\n<DELAY 20>\n";
  const std::string text = "Order 42: Espresso, Latte & Scone - Table 7 / paid by card (tip 10%)";
  for (int key = 1; key <= 690; ++key) {
    source += "<KEY " + std::to_string(key) + ">" + text + " Thank you<TAB><DELAY 5><NAMEDKEY199><ENTER>\n";
  }
  return source;
}

struct Files {
  Files() {
    lumivane::test::WriteFile(layout, MakeLayout());
    lumivane::test::WriteFile(source, MakeSource());
  }
  lumivane::test::TempDir temp;
  std::string layout = temp.path() + "Layout300.emu";
  std::string source = temp.path() + "Large.pos";
};

const Files& BenchFiles() {
  static const Files files;
  return files;
}

void BM_TranslateFullImage(benchmark::State& state) {
  lumivane::TranslationInput input{BenchFiles().source, BenchFiles().layout, "360", false};
  lumivane::ImageBuilder builder;
  for (auto _ : state) {
    const auto result = builder.Translate(input);
    benchmark::DoNotOptimize(result);
  }
  if (builder.Translate(input) != lumivane::DownloadState::ImageReady) state.SkipWithError("no image");
  state.counters["imageBytes"] = builder.imageLength();
}
BENCHMARK(BM_TranslateFullImage)->Unit(benchmark::kMillisecond);

// The names a source asks for: every plain character and a few key names and misses.
std::vector<std::string> LookupNames() {
  std::vector<std::string> names;
  for (int c = 0x20; c < 0x7F; ++c) names.emplace_back(1, static_cast<char>(c));
  for (const char* name : {"ENTER", "NAMEDKEY150", "TAB", "MISSING", "\t"}) names.emplace_back(name);
  return names;
}

void BM_LookupIndexed(benchmark::State& state) {
  lumivane::EmulatorTable table(BenchFiles().layout);
  const auto names = LookupNames();
  for (auto _ : state) {
    unsigned sum = 0;
    for (const auto& name : names) {
      if (table.FindName(name.c_str())) sum += table.NextNumber();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names.size()));
}
BENCHMARK(BM_LookupIndexed);

// The plain way: walk the lines in file order until one begins with name and '='.
void BM_LookupLinearScan(benchmark::State& state) {
  const std::string text = lumivane::test::ReadFile(BenchFiles().layout);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.emplace_back(text.data() + start, end - start);
    start = end + 1;
  }
  const auto names = LookupNames();
  for (auto _ : state) {
    unsigned sum = 0;
    for (const auto& name : names) {
      for (std::string_view line : lines) {
        if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
            line[name.size()] == '=') {
          sum += static_cast<unsigned>(std::atoi(line.data() + name.size() + 1));
          break;
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names.size()));
}
BENCHMARK(BM_LookupLinearScan);

}  // namespace

BENCHMARK_MAIN();
