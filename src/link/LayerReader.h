#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lumivane {

class DeviceLink;

// Where the keypad's layers lie: its control area.
struct ControlArea {
  std::uint16_t layer1Start = 0;
  std::uint16_t layer1End = 0;
  std::uint16_t layer2Start = 0;
  std::uint16_t layer2End = 0;
};

enum class LayerReadEnd {
  Read,        // the layer holds an image: `stored` has it
  NoImage,     // the layer holds no image (see noImageReason); nothing is wrong with the link
  LinkFailed,  // a read got no answer, the link broke, or the answers came out of step
  Stopped,     // the observer asked to stop
};

struct LayerRead {
  LayerReadEnd end = LayerReadEnd::LinkFailed;
  int layer = 1;
  ControlArea control;
  // Keypad addresses of the layer's first and last byte.
  std::uint16_t start = 0;
  std::uint16_t last = 0;
  // The layer's bytes as the keypad holds them (key table as addresses).
  std::vector<std::uint8_t> stored;
  // Where the key table ends (463 or 1383), recognised or as forced.
  int tableEnd = 463;
  // Why the layer holds no image: "its end 0x0000 lies below its start 0x0001".
  std::string noImageReason;

  // The image as the translator built it: entries back to image offsets.
  std::vector<std::uint8_t> Image() const;
};

// Sees a layer being read.
class LayerReadObserver {
 public:
  virtual ~LayerReadObserver() = default;
  // The layer's bytes are read next: `total` of them.
  virtual void OnLayerReadBegin(std::uint32_t /*total*/) {}
  virtual void OnLayerReadStep(std::uint32_t /*read*/) {}
  // Asked before every read: true stops there.
  virtual bool StopRequested() { return false; }
};

// Reads the control area (layer-1 start and end, layer-2 start and end),
// then the chosen layer's bytes (layer 1: layer-1 start through layer-1
// end; layer 2: layer-2 start through layer-2 end), all as one read run.
// Sends no write and no end command.
//
// The layer holds no image when its pointers are inverted, reach the
// control area, or (layer 1) reach layer 2; when it is too short for a
// key table; or when its bytes are no key table and data (told as soon as
// the key table has been read, so that unused memory is not read whole).
// tableEnd 463 or 1383 forces the key-table size; 0 recognises it.
LayerRead ReadLayer(DeviceLink& link, int layer, LayerReadObserver& observer, int tableEnd = 0);

}  // namespace lumivane
