// libFuzzer target: any source against any layout must translate without a
// crash, and a finished image must keep the shape the download relies on.
// The errors' sentences are left to check_fuzz: here they would be most of
// a run's cost. Input: see FuzzTranslationInput.h.
#include <cstdint>
#include <string>

#include "FuzzTranslationInput.h"
#include "translator/ImageBuilder.h"
#include "translator/ImageListing.h"

namespace {

using fuzzing::Check;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const fuzzing::TranslationInput input = fuzzing::SplitInput(data, size);
  // One builder serves every input, as one serves every download of a window.
  static lumivane::ImageBuilder builder;
  builder.SetErrorSentences(false);
  const lumivane::DownloadState state =
      builder.TranslateBytes(input.source, input.layout, input.keysText, input.pcAtLink);
  Check(builder.imageLength() <= lumivane::ImageBuilder::kMaxImageLength, "length fits 16 bits");
  if (state == lumivane::DownloadState::ImageReady) {
    CheckImage(builder);
    // The listing reads only within the image, whatever its bytes.
    const std::string listing =
        lumivane::FormatImageListing(builder.image(), builder.imageLength(), builder.tableSize());
    Check(!listing.empty(), "listing is never empty");
  }
  // Whatever this input allocated is freed with it, so that libFuzzer's
  // malloc/free balance never stops for a leak check on a kept result.
  builder.ReleaseResults();
  return 0;
}
