#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestPaths.h"
#include "translator/ImageBuilder.h"

namespace lumivane::test {

// The small layout of the worked examples: letters a-c, ENTER and the blank.
inline const char* const kSmallLayout = "a=28\nb=50\nc=33\nENTER=90\n =41\n";

// Translates sources against a layout written to a fresh directory.
class TranslatorFixture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir + name;
    EXPECT_TRUE(WriteFile(path, bytes));
    return path;
  }

  DownloadState Run(const std::string& source, const std::string& layout = kSmallLayout,
                    const std::string& keys = "120", bool pcAt = false) {
    TranslationInput input;
    input.sourcePath = Write("source.pos", source);
    input.emulatorPath = Write("layout.emu", layout);
    input.keysText = keys;
    input.pcAtLink = pcAt;
    return builder.Translate(input);
  }

  // The data area of the last image, from the table's end.
  std::vector<std::uint8_t> Data() const {
    return {builder.image() + builder.tableSize(), builder.image() + builder.imageLength()};
  }

  unsigned Entry(int key) const {
    return (builder.image()[2 * key + 1] << 8) | builder.image()[2 * key + 2];
  }

  TempDir temp;
  const std::string dir = temp.path();
  ImageBuilder builder;
};

inline const std::string kHeader = "<HEADER>\n<DELAY 300>\n";

}  // namespace lumivane::test
