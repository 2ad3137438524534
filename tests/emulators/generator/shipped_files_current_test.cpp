// The files in emulators/ are what the generator writes today: a change of the
// layout tables without regenerating them fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "EmulatorSet.h"
#include "XkbDataVersion.h"

namespace emugen {
namespace {

std::string ReadShipped(const std::string& name) {
  std::ifstream in(std::string(LUMIVANE_SOURCE_DIR) + "/emulators/" + name + ".emu", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ShippedFiles, MatchTheGeneratorOutput) {
  const std::string version = InstalledXkbDataVersion();
  const std::string recorded = "xkeyboard-config " + version + " ";
  if (ReadShipped("English_US").find(recorded) == std::string::npos) {
    GTEST_SKIP() << "the files were generated from another xkeyboard-config than " << version;
  }
  const GenerationResult result = GenerateAll(version);
  ASSERT_TRUE(result.errors.empty()) << result.errors.front();
  ASSERT_EQ(result.files.size(), 20u);
  for (const EmulatorFile& file : result.files) {
    EXPECT_EQ(ReadShipped(file.name), file.text) << file.name << ".emu is out of date: run emugen emulators";
  }
}

}  // namespace
}  // namespace emugen
