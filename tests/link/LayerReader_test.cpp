// Reading a layer back: where it lies, when it holds no image, and the
// image it gives back.
#include "link/LayerReader.h"

#include <gtest/gtest.h>

#include "LinkFakes.h"
#include "ManualClock.h"
#include "link/SerialLink.h"
#include "link/KeypadConstants.h"
#include "link/StoredImage.h"

namespace lumivane::test {
namespace {

// A 120-key image: key 1 at 464 ("a"), key 5 at 466 (no codes).
Bytes SmallImage() {
  Bytes image(467, 0);
  image[2] = 5;
  image[3] = 0x01, image[4] = 0xD0;
  image[11] = 0x01, image[12] = 0xD2;
  image[463] = 0xFF, image[464] = 0x1C, image[465] = 0xFF, image[466] = 0xFF;
  return image;
}

class LayerReaderTest : public ::testing::Test {
 protected:
  LayerReaderTest() : link(clock, &keypad) {
    std::fill(keypad.memory.begin(), keypad.memory.end(), 0xFF);
    keypad.SetPointer(keypad::kLayer1Start, 0x0001);
    keypad.SetPointer(keypad::kLayer1End, 0x0000);
    keypad.SetPointer(keypad::kLayer2Start, 0x8000);
    keypad.SetPointer(keypad::kLayer2End, 0xFEFF);
  }
  void Place(const Bytes& image, std::uint16_t base) {
    const Bytes stored = RelocateImage(image.data(), image.size(), 463, base);
    std::copy(stored.begin(), stored.end(), keypad.memory.begin() + base);
  }

  ManualClock clock;
  MemoryKeypadPort keypad;
  SerialLink link;
  LayerReadObserver observer;
};

TEST_F(LayerReaderTest, ReadsTheControlAreaThenTheLayerAndGivesTheImageBack) {
  const Bytes image = SmallImage();
  for (const std::uint16_t base : {0x0001, 0x6001}) {
    SCOPED_TRACE(base);
    keypad.operations.clear();
    keypad.SetPointer(keypad::kLayer1Start, base);
    keypad.SetPointer(keypad::kLayer1End, static_cast<std::uint16_t>(base + image.size() - 1));
    Place(image, base);
    const LayerRead read = ReadLayer(link, 1, observer);
    ASSERT_EQ(read.end, LayerReadEnd::Read) << read.noImageReason;
    EXPECT_EQ(read.start, base);
    EXPECT_EQ(read.tableEnd, 463);
    EXPECT_EQ(read.Image(), image);
    ASSERT_EQ(keypad.operations.size(), 8u + image.size());
    EXPECT_EQ(keypad.operations[0], "read FF63");
    EXPECT_EQ(keypad.operations[7], "read FF6A");
    EXPECT_EQ(keypad.Count("write"), 0u);
    EXPECT_EQ(keypad.Count("end"), 0u);
  }
  // Layer 2 lies from its start through its end.
  keypad.SetPointer(keypad::kLayer2Start, 0xFEFF - 466);
  Place(image, 0xFEFF - 466);
  const LayerRead read = ReadLayer(link, 2, observer);
  ASSERT_EQ(read.end, LayerReadEnd::Read) << read.noImageReason;
  EXPECT_EQ(read.Image(), image);
}

TEST_F(LayerReaderTest, ALayerThatHoldsNoImageSaysWhyAndStopsReadingEarly) {
  const struct {
    const char* name;
    int layer;
    std::uint16_t layer1End, layer2Start, layer2End;
    std::size_t reads;  // control area and layer bytes
    const char* reason;
  } cases[] = {
      {"a fresh layer 1", 1, 0x0000, 0x8000, 0xFEFF, 8, "its end 0x0000 lies below its start 0x0001"},
      {"layer 1 into layer 2", 1, 0x8000, 0x8000, 0xFEFF, 8,
       "its end 0x8000 reaches layer 2, which starts at 0x8000"},
      {"layer 2 into the control area", 2, 0x0000, 0x8000, 0xFF63, 8,
       "its end 0xFF63 lies in the control area"},
      {"too short", 2, 0x0000, 0xFE00, 0xFEFF, 8, "its 256 bytes from 0xFE00 are too few for a key table"},
      {"erased memory", 2, 0x0000, 0x8000, 0xFEFF, 8 + 463,
       "its 32512 bytes from 0x8000 to 0xFEFF are not an image"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    keypad.operations.clear();
    keypad.SetPointer(keypad::kLayer1End, c.layer1End);
    keypad.SetPointer(keypad::kLayer2Start, c.layer2Start);
    keypad.SetPointer(keypad::kLayer2End, c.layer2End);
    const LayerRead read = ReadLayer(link, c.layer, observer);
    EXPECT_EQ(read.end, LayerReadEnd::NoImage);
    EXPECT_EQ(read.noImageReason, c.reason);
    EXPECT_EQ(keypad.operations.size(), c.reads);
  }
}

TEST_F(LayerReaderTest, AnUnansweredReadEndsTheReadAndAForcedTableSizeIsHeldTo) {
  const Bytes image = SmallImage();
  keypad.SetPointer(keypad::kLayer1End, static_cast<std::uint16_t>(image.size()));
  Place(image, 0x0001);
  EXPECT_EQ(ReadLayer(link, 1, observer, kKeyTableEnd360).end, LayerReadEnd::NoImage);
  keypad.silentAddresses = {0x0010};
  EXPECT_EQ(ReadLayer(link, 1, observer).end, LayerReadEnd::LinkFailed);
  EXPECT_EQ(keypad.operations.back(), "read 0010");
}

}  // namespace
}  // namespace lumivane::test
