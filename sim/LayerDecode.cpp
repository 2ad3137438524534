#include "sim/LayerDecode.h"

#include <cstdio>

#include "translator/ImageListing.h"

namespace lumivane::sim {

namespace {

constexpr int kSmallTable = 463;
constexpr int kLargeTable = 1383;
constexpr int kKeysInSmallTable = 230;

bool InControlArea(std::uint16_t address) {
  return address >= KeypadModel::kLayer1StartAddress && address <= KeypadModel::kVersionAddress + 1;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFF);
  return text;
}

}  // namespace

ReceivedLayer FindReceivedLayer(const KeypadModel& keypad) {
  ReceivedLayer layer;
  for (const KeypadCommand& command : keypad.commands()) {
    if (command.kind != KeypadCommand::Kind::Write || InControlArea(command.address)) continue;
    if (layer.write && command.count < layer.write->count) continue;
    layer.write = &command;
  }
  if (!layer.write) return layer;
  layer.found = true;
  layer.start = layer.write->address;
  layer.announced = layer.write->count;
  layer.end = static_cast<std::uint16_t>(layer.start + (layer.announced ? layer.announced - 1 : 0));
  layer.layer = layer.start == keypad.PeekPointer(KeypadModel::kLayer2StartAddress) ? 2 : 1;
  return layer;
}

int InferTableSize(const std::uint8_t* image, std::size_t length, std::uint16_t entryBase) {
  if (length <= static_cast<std::size_t>(kLargeTable)) return kSmallTable;
  bool anyDefined = false;
  for (int key = 1; key <= kKeysInSmallTable; ++key) {
    const std::size_t at = 2 * static_cast<std::size_t>(key) + 1;
    if (at + 1 >= length) break;
    if (image[at] == 0) continue;  // an undefined key goes out as 0x0000
    anyDefined = true;
    const int offset = static_cast<std::uint16_t>((image[at] << 8 | image[at + 1]) - entryBase);
    if (offset <= kLargeTable) return kSmallTable;
  }
  return anyDefined ? kLargeTable : kSmallTable;
}

std::string DescribeReceivedLayer(const KeypadModel& keypad, int tableSize) {
  const ReceivedLayer layer = FindReceivedLayer(keypad);
  if (!layer.found) return "No layer received.\n";
  const std::vector<std::uint8_t>& image = layer.write->data;
  std::string text = "Layer " + std::to_string(layer.layer) + " received: start " +
                     Hex4(layer.start) + ", end " + Hex4(layer.end) + ", " +
                     std::to_string(image.size()) + " bytes";
  if (image.size() != layer.announced) {
    text += " of " + std::to_string(layer.announced) + " announced";
  }
  text += keypad.IsFinished() ? ", end command received\n" : ", no end command\n";
  if (tableSize == 0) tableSize = InferTableSize(image.data(), image.size(), layer.start);
  text += FormatImageListing(image.data(), image.size(), tableSize, layer.start);
  if (!text.empty() && text.back() != '\n') text += '\n';
  return text;
}

}  // namespace lumivane::sim
