#include "station/StationReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumivane {
namespace {

StationRecord Outcome(const std::string& slot, const std::string& sha256, std::size_t length, const char* result) {
  StationRecord record;
  record.slot = slot;
  record.sha256 = sha256;
  record.length = length;
  record.result = result;
  return record;
}

class StationReportTest : public ::testing::Test {
 protected:
  const std::string a = std::string(64, 'a');
  const std::string b = std::string(64, 'b');
  // Two slots, two images (one of them also under a second length), one
  // run the station ended before writing, one record of an unknown result.
  const std::vector<StationRecord> records = {
      Outcome("usb-0:1:1.0", a, 100, "pass"),     Outcome("usb-0:2:1.0", a, 100, "fail"),
      Outcome("usb-0:1:1.0", a, 100, "pass"),     Outcome("usb-0:2:1.0", b, 200, "pass"),
      Outcome("usb-0:2:1.0", a, 100, "unserved"), Outcome("/dev/tty,S0", a, 101, "fail"),
      Outcome("usb-0:1:1.0", a, 100, "maybe"),
  };
};

TEST_F(StationReportTest, CountsPerSlotInAllAndPerImage) {
  EXPECT_EQ(FormatReportText(SummariseStationLog(records)),
            "Slot          Passed   Failed\n"
            "usb-0:1:1.0        2        0\n"
            "usb-0:2:1.0        1        1\n"
            "/dev/tty,S0        0        1\n"
            "Total              3        2\n"
            "\n"
            "Images (SHA-256, bytes):\n"
            "  " + a + " 100 bytes: 2 passed, 1 failed\n"
            "  " + b + " 200 bytes: 1 passed, 0 failed\n"
            "  " + a + " 101 bytes: 0 passed, 1 failed\n");
}

TEST_F(StationReportTest, CsvIsOneTableWithQuotedFields) {
  EXPECT_EQ(FormatReportCsv(SummariseStationLog(records)),
            "kind,slot,sha256,length,passed,failed\n"
            "slot,usb-0:1:1.0,,,2,0\n"
            "slot,usb-0:2:1.0,,,1,1\n"
            "slot,\"/dev/tty,S0\",,,0,1\n"
            "total,,,,3,2\n"
            "image,," + a + ",100,2,1\n"
            "image,," + b + ",200,1,0\n"
            "image,," + a + ",101,0,1\n");
}

TEST_F(StationReportTest, AnEmptyLogHasATotalAndNoImages) {
  EXPECT_EQ(FormatReportText(SummariseStationLog({})),
            "Slot    Passed   Failed\nTotal        0        0\n\nImages (SHA-256, bytes):\n  none\n");
  EXPECT_EQ(FormatReportCsv(SummariseStationLog({})), "kind,slot,sha256,length,passed,failed\ntotal,,,,0,0\n");
}

}  // namespace
}  // namespace lumivane
