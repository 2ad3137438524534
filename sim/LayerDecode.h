#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/KeypadModel.h"

namespace lumivane::sim {

// Where the download's image went, taken from what the keypad received.
struct ReceivedLayer {
  bool found = false;
  int layer = 0;                 // 1 or 2
  std::uint16_t start = 0;       // keypad address of image byte 0
  std::uint16_t end = 0;         // keypad address of the last announced byte
  std::size_t announced = 0;     // count of the write command
  const KeypadCommand* write = nullptr;  // the image write (points into the model's record)
};

// The image write: the largest write outside the control area.
ReceivedLayer FindReceivedLayer(const KeypadModel& keypad);

// Key-table size of a received image: 1383 (360 keys) when every defined
// entry among the first 230 keys lies beyond a 360-key table, else 463.
int InferTableSize(const std::uint8_t* image, std::size_t length, std::uint16_t entryBase);

// A readable account of the layer received: placement, byte count, and the
// decoded image. tableSize 0 infers it.
std::string DescribeReceivedLayer(const KeypadModel& keypad, int tableSize = 0);

}  // namespace lumivane::sim
