#include "link/PortNames.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace lumivane {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string ResolvePortName(const std::string& name,
                            const std::map<std::string, std::string>& portsSection) {
  if (!name.empty() && name.front() == '/') return name;
  for (const auto& [key, value] : portsSection) {
    if (EqualNoCase(key, name) && !value.empty()) return value;
  }
  for (int n = 1; n <= 4; ++n) {
    if (EqualNoCase(name, "COM" + std::to_string(n))) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return name;
}

std::vector<std::string> ListSerialDevices(const std::string& directory) {
  std::vector<std::string> devices;
  std::error_code error;
  std::filesystem::directory_iterator entries(directory, error);
  if (error) return devices;
  for (const auto& entry : entries) {
    const std::string file = entry.path().filename().string();
    if (StartsWith(file, "ttyUSB") || StartsWith(file, "ttyACM")) {
      devices.push_back(entry.path().string());
    }
  }
  // By kind, then by number, so ttyUSB2 comes before ttyUSB10.
  std::sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
    const std::size_t aDigits = a.find_last_not_of("0123456789") + 1;
    const std::size_t bDigits = b.find_last_not_of("0123456789") + 1;
    const int byKind = a.compare(0, aDigits, b, 0, bDigits);
    if (byKind != 0) return byKind < 0;
    if (a.size() - aDigits != b.size() - bDigits) return a.size() - aDigits < b.size() - bDigits;
    return a < b;
  });
  return devices;
}

}  // namespace lumivane
