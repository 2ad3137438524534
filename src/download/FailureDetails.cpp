#include "download/FailureDetails.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "link/ChannelError.h"
#include "link/KeypadTransfer.h"

namespace lumivane {

namespace {

std::string Hex4(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

const char* LinkName(LinkKind link) {
  switch (link) {
    case LinkKind::PcAt: return "PC/AT";
    case LinkKind::Usb: return "USB";
    case LinkKind::Rs232: return "RS232";
    case LinkKind::Rs485: return "RS485";
    case LinkKind::Modem: return "Modem";
    case LinkKind::Internet: return "Internet";
    case LinkKind::Wireless: return "Wireless";
  }
  return "This link";
}

}  // namespace

std::string UnsupportedLinkDetail(LinkKind link) {
  return std::string(LinkName(link)) + " is not supported: choose USB, RS232 or PC/AT";
}

std::string NoMemoryDetail(std::uint32_t imageLength, const LayerRoom& room) {
  if (room.layer == 0) return {};
  const std::string bounds =
      room.layer == 1 ? "from its start " + Hex4(room.lowerPointer) + " up to layer 2's start " +
                            Hex4(room.upperPointer)
                      : "above layer 1's end " + Hex4(room.lowerPointer) + " up to its end " +
                            Hex4(room.upperPointer);
  const std::string roomText =
      room.room == 0 ? "has no room" : "has room for " + std::to_string(room.room) + " bytes";
  return "The image takes " + std::to_string(imageLength) + " bytes; layer " +
         std::to_string(room.layer) + " " + roomText + ", " + bounds;
}

std::string MissingLayoutDetail(const std::string& name, const std::vector<std::string>& directories) {
  std::string line = "No layout " + name + ": " + name + ".emu is ";
  if (directories.size() == 1) return line + "not in " + directories.front();
  line += "in none of ";
  for (std::size_t i = 0; i < directories.size(); ++i) {
    if (i > 0) line += i + 1 == directories.size() ? " and " : ", ";
    line += directories[i];
  }
  return line;
}

std::string MissingLayoutDetailFor(const std::string& name, const std::string& file,
                                   const std::vector<std::string>& directories) {
  if (name.empty() || directories.empty()) return {};
  struct stat info {};
  if (::lstat(file.c_str(), &info) == 0 || errno != ENOENT) return {};
  return MissingLayoutDetail(name, directories);
}

}  // namespace lumivane
