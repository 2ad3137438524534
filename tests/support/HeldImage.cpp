#include "HeldImage.h"

#include "link/StoredImage.h"
#include "sim/LayerDecode.h"

namespace lumivane::test {

std::vector<std::uint8_t> HeldImage(const sim::KeypadModel& keypad, int tableSize) {
  const sim::ReceivedLayer layer = sim::FindReceivedLayer(keypad);
  if (!layer.found) return {};
  std::vector<std::uint8_t> stored;
  for (std::size_t i = 0; i < layer.announced; ++i)
    stored.push_back(keypad.Peek(static_cast<std::uint16_t>(layer.start + i)));
  return RestoreImageOffsets(stored.data(), stored.size(), tableSize, layer.start);
}

}  // namespace lumivane::test
