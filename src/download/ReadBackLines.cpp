#include "download/ReadBackLines.h"

#include <cstdio>

#include "link/KeypadTransfer.h"

namespace lumivane {

std::string VerifiedLine(const VerifyReport& report) {
  return "Verified " + std::to_string(report.checked) + " bytes";
}

std::string VerifyFailedLine(const VerifyReport& report) {
  char text[112];
  std::snprintf(text, sizeof text, "Verify failed at 0x%04X: wrote 0x%02X, read 0x%02X (%u %s)",
                report.firstAddress, report.wrote, report.read, report.differing,
                report.differing == 1 ? "byte differs" : "bytes differ");
  return text;
}

std::string NoImageLine(int layer, const std::string& reason) {
  return "Layer " + std::to_string(layer) + " holds no image: " + reason;
}

std::string BackedUpLine(int layer, const std::string& path, std::size_t bytes) {
  return "Layer " + std::to_string(layer) + " backed up to " + path + " (" + std::to_string(bytes) +
         " bytes)";
}

std::string NothingToBackUpLine(int layer, const std::string& path) {
  return "Layer " + std::to_string(layer) + " holds no image: no backup written to " + path;
}

}  // namespace lumivane
