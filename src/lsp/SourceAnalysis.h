#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "lsp/CodePage.h"
#include "lsp/SourceOutline.h"
#include "translator/DownloadState.h"

namespace lumivane::lsp {

class LoadedLayout;
}  // namespace lumivane::lsp

namespace lumivane {
class ImageBuilder;
}

namespace lumivane::lsp {

// The largest source the server takes; a larger document gets one finding instead.
inline constexpr std::size_t kMaxSourceBytes = 16 * 1024 * 1024;

// One error of a source, at byte offsets of its text in the code page.
struct Finding {
  std::size_t begin = 0;
  std::size_t end = 0;  // begin itself where the source ended
  std::string code;     // the kind: "unknown_name", "not_in_code_page", ...
  std::string message;
  // What the offending tag (fixBegin to fixEnd) should read; empty when nothing is suggested.
  std::string suggestion;
  std::size_t fixBegin = 0;
  std::size_t fixEnd = 0;
};

// A finding about the whole source, at its start.
Finding SourceFinding(std::string code, std::string message);
// "the source holds N bytes; sources above 16 MiB are not checked"
std::string TooLargeMessage(std::size_t bytes);

// Everything the features read of one version of a source.
struct SourceAnalysis {
  EncodedText encoded;
  SourceOutline outline;
  std::vector<Finding> findings;  // in source order
  // Per entry of outline.keys: the image bytes its definition takes (its
  // 0xFF and its data), when the translation got past it.
  std::vector<std::optional<unsigned>> keyBytes;
  bool translated = false;  // false when the layout cannot be used or the source is too large
  DownloadState state = DownloadState::None;
  std::size_t imageLength = 0;  // as far as the image was built
  int keyCount = 120;
  int keyLimit = 231;
};

// Translates `text` (UTF-8) in the layout's code page and collects every
// error as "lumivane-cli check" does, with the outline and each key's cost.
// `builder` is the caller's, kept for every analysis with its image buffer.
SourceAnalysis AnalyseSource(const std::string& text, LoadedLayout& layout, const std::string& keysText,
                             ImageBuilder& builder);

}  // namespace lumivane::lsp
