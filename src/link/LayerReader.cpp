#include "link/LayerReader.h"

#include <algorithm>
#include <cstdio>

#include "link/DeviceLink.h"
#include "link/KeypadConstants.h"
#include "link/StoredImage.h"

namespace lumivane {

namespace {

std::string Format(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
  char text[120];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// Why the layer's pointers cannot frame an image; empty when they can.
std::string BoundsProblem(const LayerRead& read, int tableEnd) {
  if (read.last < read.start)
    return Format("its end 0x%04X lies below its start 0x%04X", read.last, read.start);
  if (read.last >= keypad::kLayer1Start)
    return Format("its end 0x%04X lies in the control area", read.last);
  if (read.layer == 1 && read.last >= read.control.layer2Start)
    return Format("its end 0x%04X reaches layer 2, which starts at 0x%04X", read.last,
                  read.control.layer2Start);
  const unsigned length = static_cast<unsigned>(read.last - read.start) + 1;
  const int shortest = tableEnd != 0 ? tableEnd : kKeyTableEnd120;
  if (length < static_cast<unsigned>(shortest) + 1)
    return Format("its %u bytes from 0x%04X are too few for a key table", length, read.start);
  return {};
}

std::string NotAnImage(const LayerRead& read) {
  const unsigned length = static_cast<unsigned>(read.last - read.start) + 1;
  return Format("its %u bytes from 0x%04X to 0x%04X are not an image", length, read.start, read.last);
}

// Once the key table has been read, bytes that cannot begin an image of
// either size (or of the forced one) end the read.
bool TableCouldBeAnImage(const LayerRead& read, int tableEnd) {
  const std::size_t length = static_cast<std::size_t>(read.last - read.start) + 1;
  for (const int candidate : {kKeyTableEnd120, kKeyTableEnd360}) {
    if (tableEnd != 0 && candidate != tableEnd) continue;
    if (CouldHoldKeyTable(read.stored.data(), read.stored.size(), length, candidate, read.start))
      return true;
  }
  return false;
}

class Reader {
 public:
  Reader(DeviceLink& link, LayerReadObserver& observer) : link_(link), observer_(observer) {}

  LayerRead Run(int layer, int tableEnd) {
    LayerRead read;
    read.layer = layer == 2 ? 2 : 1;
    link_.BeginReadRun();
    const LayerReadEnd end = ReadAll(read, tableEnd);
    // Nothing read counts before the line has shown that no answer lagged.
    link_.EndReadRun();
    if (end == LayerReadEnd::Stopped) return Ended(std::move(read), end);
    if (end == LayerReadEnd::LinkFailed || link_.fault() != LinkFault::None)
      return Ended(std::move(read), LayerReadEnd::LinkFailed);
    if (read.noImageReason.empty()) {
      const KeyTableRecognition table =
          RecogniseKeyTable(read.stored.data(), read.stored.size(), read.start, tableEnd);
      read.tableEnd = table.tableEnd;
      if (!table.recognised) read.noImageReason = NotAnImage(read);
    }
    return Ended(std::move(read), read.noImageReason.empty() ? LayerReadEnd::Read : LayerReadEnd::NoImage);
  }

 private:
  static LayerRead Ended(LayerRead read, LayerReadEnd end) {
    read.end = end;
    if (end != LayerReadEnd::Read) read.stored.clear();
    return read;
  }

  bool ReadByte(std::uint16_t address, std::uint8_t* value) {
    if (observer_.StopRequested()) {
      stopped_ = true;
      return false;
    }
    *value = link_.ReadByte(address);
    return link_.fault() == LinkFault::None;
  }

  bool ReadPointer(std::uint16_t address, std::uint16_t* value) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    if (!ReadByte(address, &high) || !ReadByte(static_cast<std::uint16_t>(address + 1), &low)) return false;
    *value = static_cast<std::uint16_t>(high << 8 | low);
    return true;
  }

  LayerReadEnd Failed() const { return stopped_ ? LayerReadEnd::Stopped : LayerReadEnd::LinkFailed; }

  LayerReadEnd ReadAll(LayerRead& read, int tableEnd) {
    ControlArea& control = read.control;
    if (!ReadPointer(keypad::kLayer1Start, &control.layer1Start) ||
        !ReadPointer(keypad::kLayer1End, &control.layer1End) ||
        !ReadPointer(keypad::kLayer2Start, &control.layer2Start) ||
        !ReadPointer(keypad::kLayer2End, &control.layer2End))
      return Failed();
    read.start = read.layer == 1 ? control.layer1Start : control.layer2Start;
    read.last = read.layer == 1 ? control.layer1End : control.layer2End;
    read.noImageReason = BoundsProblem(read, tableEnd);
    if (!read.noImageReason.empty()) return LayerReadEnd::NoImage;

    const std::size_t length = static_cast<std::size_t>(read.last - read.start) + 1;
    // The table is judged once the shorter one has come in, and again
    // once the longer one has, if the shorter did not fit.
    const std::size_t checks[] = {static_cast<std::size_t>(tableEnd != 0 ? tableEnd : kKeyTableEnd120),
                                  static_cast<std::size_t>(kKeyTableEnd360)};
    observer_.OnLayerReadBegin(static_cast<std::uint32_t>(length));
    read.stored.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
      std::uint8_t value = 0;
      if (!ReadByte(static_cast<std::uint16_t>(read.start + i), &value)) return Failed();
      read.stored.push_back(value);
      observer_.OnLayerReadStep(static_cast<std::uint32_t>(i + 1));
      if ((i + 1 == checks[0] || i + 1 == checks[1]) && !TableCouldBeAnImage(read, tableEnd)) {
        read.noImageReason = NotAnImage(read);
        return LayerReadEnd::NoImage;
      }
    }
    return LayerReadEnd::Read;
  }

  DeviceLink& link_;
  LayerReadObserver& observer_;
  bool stopped_ = false;
};

}  // namespace

std::vector<std::uint8_t> LayerRead::Image() const {
  return RestoreImageOffsets(stored.data(), stored.size(), tableEnd, start);
}

LayerRead ReadLayer(DeviceLink& link, int layer, LayerReadObserver& observer, int tableEnd) {
  if (tableEnd != kKeyTableEnd120 && tableEnd != kKeyTableEnd360) tableEnd = 0;
  return Reader(link, observer).Run(layer, tableEnd);
}

}  // namespace lumivane
