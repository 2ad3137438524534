// libFuzzer target: any source against any layout must translate without a
// crash, and a finished image must keep the shape the download relies on.
// Collecting every error must end too, with diagnostics that point into the
// source, the first of them the one a single translation reports.
//
// Input: one flag byte (bit 0: 360 keys, bit 1: PC/AT link, bits 2 and 3
// both set: after a translation error, also collect every error as a check
// does), then the source,
// then optionally the separator and the layout's bytes. Without a separator a
// small built-in layout is used.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "translator/ImageBuilder.h"
#include "translator/ImageListing.h"

namespace {

// Enough to cover resuming after every kind of error; a storm of them
// would only slow every run down (the command line allows 100).
constexpr std::size_t kErrorLimit = 8;
constexpr std::string_view kSeparator("\0EMU\0", 5);
constexpr std::string_view kBuiltInLayout =
    "a=28\nb=50\nc=33\nd=35\ne=36\nf=43\ng=52\nh=51\ni=67\nj=59\nk=66\nl=75\nm=58\nn=49\no=68\n"
    "p=77\nA=18,28\n1=22\n5=46\n =41\n==85\n>=18,73\nENTER=90\nTAB=13\nUP=224,117\nBIG=255,0,7\n";

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "image invariant broken: %s\n", what);
    std::abort();
  }
}

void CheckImage(const lumivane::ImageBuilder& builder) {
  const std::uint8_t* image = builder.image();
  const std::size_t length = builder.imageLength();
  const std::size_t table = static_cast<std::size_t>(builder.tableSize());
  Check(length > table, "data area holds at least the end mark");
  Check(image[0] == 0x00, "byte 0 is 0");
  Check(image[length - 1] == 0xFF, "image ends with 0xFF");
  for (std::size_t key = 1; key < static_cast<std::size_t>(builder.keyLimit()); ++key) {
    const std::size_t entry = (static_cast<std::size_t>(image[2 * key + 1]) << 8) | image[2 * key + 2];
    if (entry == 0) continue;
    Check(entry >= table + 1 && entry < length, "entry points into the data area");
    Check(image[entry - 1] == 0xFF, "entry follows an end mark");
  }
}

// Every diagnostic lies within the source, in source order, and the first
// is the single translation's.
void CheckDiagnostics(const lumivane::ImageBuilder& single, const lumivane::ImageBuilder& all,
                      std::string_view source) {
  const auto& diagnostics = all.diagnostics();
  Check(single.diagnostics().size() <= 1, "a single translation reports at most one error");
  Check(single.diagnostics().empty() == diagnostics.empty(), "both runs fail or neither does");
  if (diagnostics.empty()) return;
  const lumivane::TranslationDiagnostic& first = single.diagnostics().front();
  Check(first.kind == diagnostics.front().kind && first.line == diagnostics.front().line &&
            first.column == diagnostics.front().column && first.text == diagnostics.front().text,
        "the first error is the single translation's");
  const std::uint64_t lines = 1 + static_cast<std::uint64_t>(std::count(source.begin(), source.end(), '\n'));
  for (std::size_t i = 0; i < diagnostics.size(); ++i) {
    const lumivane::TranslationDiagnostic& d = diagnostics[i];
    Check(d.line >= 1 && d.line <= lines, "line within the source");
    Check(d.column >= 1 && d.column <= source.size() + 1, "column within the source");
    Check(!d.message.empty(), "every error says what is wrong");
    if (i > 0) {
      const auto& before = diagnostics[i - 1];
      Check(before.line < d.line || (before.line == d.line && before.column < d.column),
            "errors in source order, one per position");
    }
  }
  Check(diagnostics.size() <= kErrorLimit, "the error limit holds");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t split = rest.find(kSeparator);
  const std::string_view source = split == std::string_view::npos ? rest : rest.substr(0, split);
  const std::string_view layout =
      split == std::string_view::npos ? kBuiltInLayout : rest.substr(split + kSeparator.size());

  // One builder serves every input, as one serves every download of a window.
  // Its errors' sentences are left to the collecting runs below.
  static lumivane::ImageBuilder builder;
  builder.SetErrorSentences(false);
  const lumivane::DownloadState state =
      builder.TranslateBytes(source, layout, (flags & 1) ? "360" : "120", (flags & 2) != 0);
  Check(builder.imageLength() <= lumivane::ImageBuilder::kMaxImageLength, "length fits 16 bits");
  if (state == lumivane::DownloadState::ImageReady) {
    CheckImage(builder);
    // The listing reads only within the image, whatever its bytes.
    const std::string listing =
        lumivane::FormatImageListing(builder.image(), builder.imageLength(), builder.tableSize());
    Check(!listing.empty(), "listing is never empty");
  }
  // Collecting runs the source a second time past every error, with a
  // suggestion for each unknown name: one input in four, so that the plain
  // translation keeps most of the runs.
  if ((flags & 0x0C) == 0x0C && state == lumivane::DownloadState::TranslationError) {
    static lumivane::ImageBuilder collector;
    collector.SetErrorLimit(kErrorLimit);
    collector.TranslateBytes(source, layout, (flags & 1) ? "360" : "120", (flags & 2) != 0);
    CheckDiagnostics(builder, collector, source);
    collector.ReleaseResults();
  }
  // Whatever this input allocated is freed with it, so that libFuzzer's
  // malloc/free balance never stops for a leak check on a kept result.
  builder.ReleaseResults();
  return 0;
}
