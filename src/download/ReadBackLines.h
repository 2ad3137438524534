#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

struct VerifyReport;

// Status lines of the verify pass, read-backs and backups.

// "Verified 609 bytes"
std::string VerifiedLine(const VerifyReport& report);
// "Verify failed at 0x0100: wrote 0x41, read 0xFF (1 byte differs)": the
// lowest address that differs, and how many bytes differ in all
// ("(3 bytes differ)").
std::string VerifyFailedLine(const VerifyReport& report);
// "Layer 2 holds no image: its end 0x0000 lies below its start 0x0001"
std::string NoImageLine(int layer, const std::string& reason);
// "Layer 1 backed up to FILE (607 bytes)"
std::string BackedUpLine(int layer, const std::string& path, std::size_t bytes);
// "Layer 1 holds no image: no backup written to FILE"
std::string NothingToBackUpLine(int layer, const std::string& path);

// After a stop during the verify pass: the end command went out.
inline constexpr const char* kUnverifiedLine =
    "The Quintrel holds the whole image, but it was not verified";
// The status line while a layer is read back.
inline constexpr const char* kReadInProgressLine = "Read in progress";

}  // namespace lumivane
