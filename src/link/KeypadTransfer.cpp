#include "link/KeypadTransfer.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "link/DeviceLink.h"
#include "link/StoredImage.h"
#include "link/VerifyPass.h"

namespace lumivane {

namespace {

// One transfer over one link. Each step returns false once the transfer
// must stop because the keypad no longer answers or the link broke.
class Transfer {
 public:
  Transfer(DeviceLink& link, const TransferImage& image, TransferObserver& observer, const TransferOptions& options)
      : link_(link), image_(image), observer_(observer), options_(options) {}

  TransferResult Run(int layer) {
    const DownloadState outcome = RunSteps(layer);
    result_.state = stopped_ ? DownloadState::None : outcome;
    return std::move(result_);
  }

 private:
  // Where the image goes; no base when it does not fit.
  struct Placement {
    std::optional<std::uint16_t> base;
  };

  DownloadState RunSteps(int layer) {
    link_.ClearFault();
    if (!ReadVersion()) return DownloadState::Timeout;

    std::optional<std::uint16_t> layer1Start = ReadPointer(keypad::kLayer1Start);
    if (!layer1Start) return DownloadState::Timeout;
    if (*layer1Start != keypad::kPlainLayer1Start && *layer1Start != keypad::kMirroredLayer1Start) {
      layer1Start = ProbeLayer1Start();
      if (!layer1Start || !WritePointer(keypad::kLayer1Start, *layer1Start)) return DownloadState::Timeout;
    }

    const std::optional<Placement> placed = layer == 2 ? PlaceInLayer2() : PlaceInLayer1(*layer1Start);
    if (!placed) return DownloadState::Timeout;
    if (!placed->base) return DownloadState::NoMemory;
    result_.room.base = placed->base;

    if (!WriteImage(*placed->base)) return DownloadState::Timeout;
    return DownloadState::Success;
  }

  // False once the transfer must not go on: a stop was requested, or the
  // link reports a fault.
  bool Healthy() { return !Stopping() && link_.fault() == LinkFault::None; }
  bool Stopping() {
    if (!stopped_) stopped_ = observer_.StopRequested();
    return stopped_;
  }

  // The version bytes are read but not judged. A missing answer to the
  // first only skips the second.
  bool ReadVersion() {
    link_.ReadByte(keypad::kVersion);
    if (Stopping() || link_.fault() == LinkFault::Broken) return false;
    if (link_.fault() == LinkFault::None) {
      link_.ReadByte(keypad::kVersion + 1);
      if (Stopping() || link_.fault() == LinkFault::Broken) return false;
    }
    link_.ClearFault();
    return true;
  }

  // The byte at `address`; nothing once the transfer must stop.
  std::optional<std::uint8_t> Read(std::uint16_t address) {
    const std::uint8_t value = link_.ReadByte(address);
    if (!Healthy()) return std::nullopt;
    return value;
  }

  std::optional<std::uint16_t> ReadPointer(std::uint16_t address) {
    const std::optional<std::uint8_t> high = Read(address);
    const std::optional<std::uint8_t> low = high ? Read(static_cast<std::uint16_t>(address + 1)) : std::nullopt;
    if (!low) return std::nullopt;
    return static_cast<std::uint16_t>(*high << 8 | *low);
  }

  bool WritePointer(std::uint16_t address, std::uint16_t value) {
    link_.BeginWrite(address, 2);
    if (!Healthy()) return false;
    link_.WriteByte(static_cast<std::uint8_t>(value >> 8));
    if (!Healthy()) return false;
    link_.WriteByte(static_cast<std::uint8_t>(value & 0xFF));
    written_.push_back(
        {address, {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)}});
    return Healthy();
  }

  // A keypad whose two probe windows hold the same bytes mirrors its lower
  // memory above 0x6000, so layer 1 starts higher up.
  // Layer 1's start; nothing once the transfer must stop.
  std::optional<std::uint16_t> ProbeLayer1Start() {
    for (int i = 0; i < keypad::kProbeLength; ++i) {
      const std::optional<std::uint8_t> low = Read(static_cast<std::uint16_t>(keypad::kProbeLow + i));
      const std::optional<std::uint8_t> high =
          low ? Read(static_cast<std::uint16_t>(keypad::kProbeHigh + i)) : std::nullopt;
      if (!high) return std::nullopt;
      if (*low != *high) return keypad::kPlainLayer1Start;
    }
    return keypad::kMirroredLayer1Start;
  }

  // The placements: nothing once the transfer must stop.
  std::optional<Placement> PlaceInLayer1(std::uint16_t start) {
    const std::uint32_t end = std::uint32_t{start} + image_.length - 1;
    const std::optional<std::uint16_t> layer2Start = ReadPointer(keypad::kLayer2Start);
    if (!layer2Start) return std::nullopt;
    const std::uint32_t last = *layer2Start == 0 ? 0 : std::min<std::uint32_t>(*layer2Start - 1u, 0xFFFF);
    NoteRoom(1, start, last, start, *layer2Start);
    if (end > 0xFFFF || end >= *layer2Start) return Placement{};
    if (!WritePointer(keypad::kLayer1End, static_cast<std::uint16_t>(end))) return std::nullopt;
    return Placement{start};
  }

  std::optional<Placement> PlaceInLayer2() {
    const std::optional<std::uint16_t> top = ReadPointer(keypad::kLayer2End);
    if (!top) return std::nullopt;
    const std::uint32_t length = image_.length;
    const std::uint32_t start = *top >= length + 1 ? *top - length + 1 : 0;
    const std::optional<std::uint16_t> layer1End = ReadPointer(keypad::kLayer1End);
    if (!layer1End) return std::nullopt;
    // Address 0 is never a layer-2 start, so the room begins above it.
    NoteRoom(2, std::max<std::uint32_t>(*layer1End, 1u) + 1u, *top, *layer1End, *top);
    if (start <= *layer1End) return Placement{};
    const auto base = static_cast<std::uint16_t>(start);
    if (!WritePointer(keypad::kLayer2Start, base)) return std::nullopt;
    return Placement{base};
  }

  void NoteRoom(int layer, std::uint32_t first, std::uint32_t last, std::uint16_t lower,
                std::uint16_t upper) {
    result_.room = {layer, first, last, last >= first ? last - first + 1 : 0, lower, upper, std::nullopt};
  }

  bool WriteAndStep(std::uint8_t value) {
    link_.WriteByte(value);
    if (!Healthy()) return false;
    observer_.OnProgressStep(++counter_);
    return true;
  }

  bool WriteImage(std::uint16_t base) {
    const std::uint16_t length = image_.length;
    const int tableSize = image_.tableSize;
    // Key table entries are image offsets; the keypad needs addresses.
    // A high byte of 0 marks a key without data.
    std::vector<std::uint8_t> sent = RelocateImage(image_.bytes, length, tableSize, base);
    link_.BeginWrite(base, length);
    if (!Healthy()) return false;
    for (int i = 0; i < 3; ++i) {
      link_.WriteByte(sent[i]);
      if (!Healthy()) return false;
    }
    // The key table and the data area, each byte a progress step.
    counter_ = 3;
    while (counter_ < length) {
      if (!WriteAndStep(sent[counter_])) return false;
    }
    observer_.OnDataWritten(counter_);
    if (options_.verify) {
      written_.push_back({base, std::move(sent)});
      VerifyPassResult pass = VerifyWrittenBlocks(link_, std::move(written_), observer_);
      result_.verify = pass.report;
      switch (pass.end) {
        case VerifyEnd::Done: break;
        case VerifyEnd::LinkFailed: return false;
        // The image is whole: the end command makes it count.
        case VerifyEnd::Stopped: stopped_ = true; break;
      }
    }
    // Once the end command is out the image is complete: a stop requested
    // now comes too late to count.
    link_.EndWrite();
    link_.ConfirmDelivery();
    result_.verify.endSent = link_.fault() == LinkFault::None;
    return result_.verify.endSent;
  }

  DeviceLink& link_;
  const TransferImage& image_;
  TransferObserver& observer_;
  const TransferOptions& options_;
  TransferResult result_;
  std::uint16_t counter_ = 0;
  bool stopped_ = false;
  // Every pointer written so far, for the verify pass.
  std::vector<WrittenBlock> written_;
};

}  // namespace

TransferResult RunTransfer(DeviceLink& link, const TransferImage& image, int layer, TransferObserver& observer,
                           const TransferOptions& options) {
  return Transfer(link, image, observer, options).Run(layer);
}

}  // namespace lumivane
