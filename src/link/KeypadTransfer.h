#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "link/KeypadConstants.h"
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
  // The verify pass begins: `total` bytes will be read back.
  virtual void OnVerifyBegin(std::uint32_t /*total*/) {}
  // One more byte was read back and compared (`checked` so far).
  virtual void OnVerifyStep(std::uint32_t /*checked*/) {}
};

struct TransferOptions {
  // After the image's last byte and before the end command, read back
  // every byte written (the placed image and the pointers) and compare.
  bool verify = false;
};

// What the verify pass found. A difference does not change the transfer's
// outcome: the end command is sent as without verify.
struct VerifyReport {
  bool complete = false;        // every written byte was read back
  std::uint32_t checked = 0;    // bytes read back and compared
  std::uint32_t differing = 0;  // of those, bytes that differ from what was written
  // The lowest address whose byte differs, the byte written and the byte read.
  std::uint16_t firstAddress = 0;
  std::uint8_t wrote = 0;
  std::uint8_t read = 0;
  // The end command was sent (a stop during the verify pass comes after
  // the whole image was written: the transfer still ends it).
  bool endSent = false;
};

// The room the placement found in the chosen layer, for the line that
// explains "Not enough memory in the Quintrel". Layer 1 reaches from its
// start up to layer 2's start; layer 2 from above layer 1's end (and
// never from address 0) up to its own end. `room` is last - first + 1,
// or 0 when last lies below first.
struct LayerRoom {
  int layer = 0;  // 0 until the placement has read the control area
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  std::uint32_t room = 0;
  // The pointers that bound it: layer 1: its start and layer 2's start;
  // layer 2: layer 1's end and layer 2's end.
  std::uint16_t lowerPointer = 0;
  std::uint16_t upperPointer = 0;
  // Where the image goes: set once it fits, before anything of it is written.
  std::optional<std::uint16_t> base;
};

// How a transfer ended: its state, what a verify pass found, and the room
// the placement found.
struct TransferResult {
  DownloadState state = DownloadState::None;
  VerifyReport verify;
  LayerRoom room;
};

// Reads the keypad's control area, places the image in layer 1 or 2 and
// writes it with the key table relocated to the placement. Ends with Success,
// NoMemory (the image does not fit) or Timeout (the keypad stopped
// answering, or the link broke). A missing answer to a version byte is
// forgiven; from the layer-1 start on, the first read without an answer
// ends the transfer before anything more is written. Ends with None when
// the observer asked it to stop: the end command was not sent.
//
// With a verify pass when the options ask for it: a read that gets no
// answer during the pass ends the transfer with Timeout, without the end
// command, as does a link that broke or answers that came out of step. A
// stop requested during the pass ends it, and the end command follows (the
// image is whole); the state is then None.
TransferResult RunTransfer(DeviceLink& link, const TransferImage& image, int layer, TransferObserver& observer,
                           const TransferOptions& options = {});

}  // namespace lumivane
