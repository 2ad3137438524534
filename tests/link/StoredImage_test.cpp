// Images as the keypad stores them: relocation there and back, and the
// key-table size told from a stored image alone.
#include "link/StoredImage.h"

#include <gtest/gtest.h>

#include "TestPaths.h"
#include "translator/ImageBuilder.h"

namespace lumivane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Translate(const std::string& source, const std::string& keys, int* tableEnd) {
  TempDir dir;
  WriteFile(dir.path() + "s.pos", source);
  ImageBuilder builder;
  TranslationInput input{dir.path() + "s.pos", SourceDir() + "/emulators/English_US.emu", keys, false};
  EXPECT_EQ(builder.Translate(input), DownloadState::ImageReady);
  *tableEnd = builder.tableSize();
  return Bytes(builder.image(), builder.image() + builder.imageLength());
}

TEST(StoredImage, RelocatedImagesComeBackWholeAndTheirTableSizeIsRecognised) {
  const std::string sample = ReadFile(SourceDir() + "/samples/Kt90NewConfig.pos");
  const struct {
    const char* name;
    std::string source;
    const char* keys;
  } cases[] = {
      {"the sample, 120 keys", sample, "120"},
      {"the sample, 360 keys (only keys below 231 defined)", sample, "360"},
      {"360 keys, only keys above 230", "<H>\n<DELAY 5>\n<300>ab\n<690>c\n", "360"},
      {"120 keys, none defined", "<H>\n<DELAY 5>\nab", "120"},
      {"120 keys, a long lead", "<H>\n<DELAY 5>\n" + std::string(1200, 'x') + "<07>y", "120"},
  };
  for (const auto& c : cases) {
    for (const std::uint16_t base : {0x0001, 0x6001, 0xC123}) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(base));
      int tableEnd = 0;
      const Bytes image = Translate(c.source, c.keys, &tableEnd);
      const Bytes stored = RelocateImage(image.data(), image.size(), tableEnd, base);
      EXPECT_EQ(RestoreImageOffsets(stored.data(), stored.size(), tableEnd, base), image);
      const KeyTableRecognition found = RecogniseKeyTable(stored.data(), stored.size(), base);
      EXPECT_TRUE(found.recognised);
      EXPECT_EQ(found.tableEnd, tableEnd);
    }
  }
}

TEST(StoredImage, BytesThatAreNoImageAreNotRecognised) {
  int tableEnd = 0;
  const Bytes image = Translate("<H>\n<DELAY 5>\n<01>ab\n", "120", &tableEnd);
  const Bytes erased(0x7F00, 0xFF);  // an unused layer of fresh memory
  Bytes pointsOutside = image;
  pointsOutside[3] = 0x7F;
  Bytes noEndMark = image;
  noEndMark.back() = 0x00;
  const struct {
    const char* name;
    const Bytes& bytes;
    int forced;
  } cases[] = {
      {"erased memory", erased, 0},
      {"an entry past the image", pointsOutside, 0},
      {"no end mark", noEndMark, 0},
      {"forced to the other size", image, kKeyTableEnd360},
      {"shorter than a table", Bytes(image.begin(), image.begin() + 463), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(RecogniseKeyTable(c.bytes.data(), c.bytes.size(), 0, c.forced).recognised);
  }
  // The table's first 463 bytes already show erased memory to be no image.
  EXPECT_FALSE(CouldHoldKeyTable(erased.data(), 463, erased.size(), kKeyTableEnd120, 0x8000));
  EXPECT_FALSE(CouldHoldKeyTable(erased.data(), 463, erased.size(), kKeyTableEnd360, 0x8000));
  EXPECT_TRUE(CouldHoldKeyTable(image.data(), 463, image.size(), kKeyTableEnd120, 0));
}

}  // namespace
}  // namespace lumivane::test
