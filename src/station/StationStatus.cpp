#include "station/StationStatus.h"

namespace lumivane {

std::string SlotTitle(const SlotStatus& slot) {
  std::string title = slot.serialNumber.empty() ? slot.name : slot.name + " (" + slot.serialNumber + ")";
  // A device's own text never moves the cursor or recolours the terminal.
  for (char& c : title) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return title;
}

}  // namespace lumivane
