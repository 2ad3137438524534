#include "download/ReadBackLines.h"

#include <gtest/gtest.h>

#include "link/KeypadTransfer.h"

namespace lumivane {
namespace {

TEST(VerifyFailedLine, CountsOneByteInTheSingular) {
  const struct {
    std::uint32_t differing;
    const char* line;
  } cases[] = {
      {1, "Verify failed at 0xFFFF: wrote 0x01, read 0xFF (1 byte differs)"},
      {2, "Verify failed at 0xFFFF: wrote 0x01, read 0xFF (2 bytes differ)"},
      {65536, "Verify failed at 0xFFFF: wrote 0x01, read 0xFF (65536 bytes differ)"},
  };
  for (const auto& c : cases) {
    VerifyReport report;
    report.differing = c.differing;
    report.firstAddress = 0xFFFF;
    report.wrote = 0x01;
    report.read = 0xFF;
    EXPECT_EQ(VerifyFailedLine(report), c.line);
  }
}

}  // namespace
}  // namespace lumivane
