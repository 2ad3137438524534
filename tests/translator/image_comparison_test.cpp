// Differences between the image a source gives and the one a keypad holds.
#include "translator/ImageComparison.h"

#include <gtest/gtest.h>

namespace lumivane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// A 120-key image with the given keys' codes, each after an end mark, in
// the order given.
Bytes Image(const std::vector<std::pair<int, Bytes>>& keys) {
  Bytes image(463, 0);
  image[2] = 5;
  for (const auto& [key, codes] : keys) {
    image.push_back(0xFF);
    image[2 * key + 1] = static_cast<std::uint8_t>(image.size() >> 8);
    image[2 * key + 2] = static_cast<std::uint8_t>(image.size() & 0xFF);
    image.insert(image.end(), codes.begin(), codes.end());
  }
  image.push_back(0xFF);
  return image;
}

Lines Compare(const Bytes& source, const Bytes& keypad) {
  return DescribeImageDifferences(source.data(), source.size(), keypad.data(), keypad.size(), 463);
}

TEST(ImageComparison, NamesWhatDiffersAndNothingElse) {
  const Bytes delay255{0xFE, 0x00, 0xFF, 0x20};  // a DELAY word holds the end mark's value
  const Bytes base = Image({{1, {0x1C}}, {2, delay255}});
  Bytes slower = base;
  slower[2] = 9;
  const struct {
    const char* name;
    Bytes keypad;
    Lines lines;
  } cases[] = {
      {"equal", base, {}},
      {"the same keys in another order", Image({{2, delay255}, {1, {0x1C}}}),
       {"The key table places the same data elsewhere"}},
      {"a code after a DELAY 255", Image({{1, {0x1C}}, {2, {0xFE, 0x00, 0xFF, 0x21}}}), {"Keys whose data differ: 2"}},
      {"header", slower, {"Header delay: 5 in the source, 9 on the Quintrel"}},
      {"keys on one side", Image({{1, {0x1C}}, {7, {0x20, 0x21}}}),
       {"Length: 471 bytes in the source, 469 on the Quintrel (-2)", "Keys defined only in the source: 2",
        "Keys defined only on the Quintrel: 7"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Compare(base, c.keypad), c.lines);
  }
}

}  // namespace
}  // namespace lumivane
