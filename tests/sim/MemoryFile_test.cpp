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
  const sim::LoadedMemory fresh = sim::LoadMemoryFile(file);
  EXPECT_EQ(fresh.failure, "") << "a missing file is a fresh keypad";
  EXPECT_TRUE(fresh.bytes.empty());

  for (const std::size_t size : {0u, 65535u, 65537u}) {
    ASSERT_TRUE(WriteFile(file, std::string(size, 'x')));
    const sim::LoadedMemory wrong = sim::LoadMemoryFile(file);
    EXPECT_NE(wrong.failure.find("not a keypad memory"), std::string::npos) << size;
    EXPECT_TRUE(wrong.bytes.empty());
  }

  std::vector<std::uint8_t> saved(65536);
  for (std::size_t i = 0; i < saved.size(); ++i) saved[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(sim::SaveMemoryFile(file, saved.data(), saved.size()), std::nullopt);
  EXPECT_EQ(sim::LoadMemoryFile(file).bytes, saved);

  // A folder that cannot take the temporary file: the old file stays whole.
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  const std::vector<std::uint8_t> other(65536, 0xEE);
  const bool asRoot = geteuid() == 0;
  EXPECT_EQ(sim::SaveMemoryFile(file, other.data(), other.size()) == std::nullopt, asRoot);
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(sim::LoadMemoryFile(file).bytes, asRoot ? other : saved);
}

}  // namespace
}  // namespace lumivane::test
