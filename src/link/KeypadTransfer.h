#pragma once
#include <cstdint>

#include "translator/DownloadState.h"

namespace lumivane {

class DeviceLink;

// The image as the translator left it.
struct TransferImage {
  const std::uint8_t* bytes = nullptr;
  std::uint16_t length = 0;
  int tableSize = 463;  // where the key table ends and the data area begins
};

// Sees the transfer counter move (the index of the next image byte).
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // One progress step of the key table or the data area.
  virtual void OnProgressStep(std::uint16_t counter) = 0;
  // Every image byte has been written; the end command follows.
  virtual void OnDataWritten(std::uint16_t counter) = 0;
  // Asked after every read and every byte written before the end command:
  // true stops the transfer there.
  virtual bool StopRequested() { return false; }
};

// The keypad's control area.
namespace keypad {
inline constexpr std::uint16_t kLayer1Start = 0xFF63;
inline constexpr std::uint16_t kLayer1End = 0xFF65;
inline constexpr std::uint16_t kLayer2Start = 0xFF67;
inline constexpr std::uint16_t kLayer2End = 0xFF69;
inline constexpr std::uint16_t kVersion = 0xFF6B;
inline constexpr std::uint16_t kProbeLow = 0x5F00;
inline constexpr std::uint16_t kProbeHigh = 0x7F00;
}  // namespace keypad

// Reads the keypad's control area, places the image in layer 1 or 2 and
// writes it with the key table relocated to the placement. Returns Success,
// NoMemory (the image does not fit) or Timeout (the keypad stopped
// answering, or the link broke). A missing answer to a version byte is
// forgiven; from the layer-1 start on, the first read without an answer
// ends the transfer before anything more is written. Returns None when the
// observer asked it to stop: the end command was not sent.
DownloadState RunTransfer(DeviceLink& link, const TransferImage& image, int layer,
                          TransferObserver& observer);

}  // namespace lumivane
