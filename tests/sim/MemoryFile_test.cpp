// The simulator's memory file: loaded when present, saved whole or not at all.
#include "sim/MemoryFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestPaths.h"

namespace lumivane::test {
namespace {

TEST(MemoryFile, LoadsOnlyAWholeMemoryAndSavesByReplacing) {
  TempDir dir;
  const std::string file = dir.path() + "keypad.mem";
  std::vector<std::uint8_t> memory{1, 2, 3};
  std::string error;
  ASSERT_TRUE(sim::LoadMemoryFile(file, &memory, &error)) << "a missing file is a fresh keypad";
  EXPECT_TRUE(memory.empty());

  for (const std::size_t size : {0u, 65535u, 65537u}) {
    ASSERT_TRUE(WriteFile(file, std::string(size, 'x')));
    EXPECT_FALSE(sim::LoadMemoryFile(file, &memory, &error)) << size;
    EXPECT_NE(error.find("not a keypad memory"), std::string::npos);
  }

  std::vector<std::uint8_t> saved(65536);
  for (std::size_t i = 0; i < saved.size(); ++i) saved[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(sim::SaveMemoryFile(file, saved.data(), saved.size(), &error)) << error;
  ASSERT_TRUE(sim::LoadMemoryFile(file, &memory, &error)) << error;
  EXPECT_EQ(memory, saved);

  // A folder that cannot take the temporary file: the old file stays whole.
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  const std::vector<std::uint8_t> other(65536, 0xEE);
  const bool asRoot = geteuid() == 0;
  EXPECT_EQ(sim::SaveMemoryFile(file, other.data(), other.size(), &error), asRoot);
  chmod(dir.path().c_str(), 0700);
  ASSERT_TRUE(sim::LoadMemoryFile(file, &memory, &error));
  EXPECT_EQ(memory, asRoot ? other : saved);
}

}  // namespace
}  // namespace lumivane::test
