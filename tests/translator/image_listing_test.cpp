#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "TranslatorFixture.h"
#include "translator/ImageListing.h"

namespace lumivane::test {
namespace {

using ImageListingTest = TranslatorFixture;

TEST_F(ImageListingTest, DecodesEveryCodeAndRelocatedEntries) {
  ASSERT_EQ(Run(kHeader + "c<01><OUT 1><OUT 2>a<RDELAY><RE->b<-PEAT><WAITACK 2><REPORT 258>"
                          "<ENTER><02> "),
            DownloadState::ImageReady);
  const std::string listing =
      FormatImageListing(builder.image(), builder.imageLength(), builder.tableSize());
  EXPECT_NE(listing.find("Header delay: 300"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Ahead of the first key: 33\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Key   1 at 465: OUT(1,2) 28 DELAY 300 RE- 50 -PEAT WAITACK 2 "
                         "REPORT 258 90\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("Key   2 at 484: 41\n"), std::string::npos) << listing;

  // The same image as placed at keypad address 0x1000: entries shifted by it.
  std::vector<std::uint8_t> moved(builder.image(), builder.image() + builder.imageLength());
  for (int key : {1, 2}) {
    const unsigned entry = Entry(key) + 0x1000;
    moved[2 * key + 1] = static_cast<std::uint8_t>(entry >> 8);
    moved[2 * key + 2] = static_cast<std::uint8_t>(entry & 0xFF);
  }
  EXPECT_EQ(FormatImageListing(moved.data(), moved.size(), 463, 0x1000), listing);
}

TEST_F(ImageListingTest, NeverReadsPastTheLengthWhateverTheBytes) {
  ASSERT_EQ(Run(kHeader + "<01><OUT 1><DELAY 5><230><WAITACK 9>"), DownloadState::ImageReady);
  // Every prefix of a real image, copied into exactly sized blocks so that
  // a read past the end shows under the address sanitizer.
  for (std::size_t length = 0; length <= builder.imageLength(); ++length) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[length]);
    std::copy(builder.image(), builder.image() + length, copy.get());
    FormatImageListing(copy.get(), length, 463);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const std::size_t length = random() % 600;
    std::vector<std::uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const std::string listing =
        FormatImageListing(bytes.data(), bytes.size(), 463, static_cast<std::uint16_t>(random()));
    EXPECT_FALSE(listing.empty());
  }
}

}  // namespace
}  // namespace lumivane::test
