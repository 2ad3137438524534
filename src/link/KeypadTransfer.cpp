#include "link/KeypadTransfer.h"

#include <algorithm>

#include "link/DeviceLink.h"
#include "link/StoredImage.h"
#include "link/VerifyPass.h"

namespace lumivane {

namespace {

// One transfer over one link. Each step returns false once the transfer
// must stop because the keypad no longer answers or the link broke.
class Transfer {
 public:
  Transfer(DeviceLink& link, const TransferImage& image, TransferObserver& observer,
           const TransferOptions& options, VerifyReport& report, LayerRoom& room)
      : link_(link), image_(image), observer_(observer), options_(options), report_(report), room_(room) {}

  DownloadState Run(int layer) {
    const DownloadState outcome = RunSteps(layer);
    return stopped_ ? DownloadState::None : outcome;
  }

 private:
  DownloadState RunSteps(int layer) {
    link_.ClearFault();
    if (!ReadVersion()) return DownloadState::Timeout;

    std::uint16_t layer1Start = 0;
    if (!ReadPointer(keypad::kLayer1Start, &layer1Start)) return DownloadState::Timeout;
    if (layer1Start != keypad::kPlainLayer1Start && layer1Start != keypad::kMirroredLayer1Start) {
      if (!ProbeLayer1Start(&layer1Start)) return DownloadState::Timeout;
      if (!WritePointer(keypad::kLayer1Start, layer1Start)) return DownloadState::Timeout;
    }

    std::uint16_t base = 0;
    bool fits = false;
    const bool placed = layer == 2 ? PlaceInLayer2(&base, &fits) : PlaceInLayer1(layer1Start, &base, &fits);
    if (!placed) return DownloadState::Timeout;
    if (!fits) return DownloadState::NoMemory;
    room_.base = base;

    if (!WriteImage(base)) return DownloadState::Timeout;
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

  bool Read(std::uint16_t address, std::uint8_t* value) {
    *value = link_.ReadByte(address);
    return Healthy();
  }

  bool ReadPointer(std::uint16_t address, std::uint16_t* value) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    if (!Read(address, &high) || !Read(static_cast<std::uint16_t>(address + 1), &low)) return false;
    *value = static_cast<std::uint16_t>(high << 8 | low);
    return true;
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
  bool ProbeLayer1Start(std::uint16_t* start) {
    *start = keypad::kMirroredLayer1Start;
    for (int i = 0; i < keypad::kProbeLength; ++i) {
      std::uint8_t low = 0;
      std::uint8_t high = 0;
      if (!Read(static_cast<std::uint16_t>(keypad::kProbeLow + i), &low) ||
          !Read(static_cast<std::uint16_t>(keypad::kProbeHigh + i), &high))
        return false;
      if (low != high) {
        *start = keypad::kPlainLayer1Start;
        break;
      }
    }
    return true;
  }

  bool PlaceInLayer1(std::uint16_t start, std::uint16_t* base, bool* fits) {
    const std::uint32_t end = std::uint32_t{start} + image_.length - 1;
    std::uint16_t layer2Start = 0;
    if (!ReadPointer(keypad::kLayer2Start, &layer2Start)) return false;
    *fits = end <= 0xFFFF && end < layer2Start;
    const std::uint32_t last = layer2Start == 0 ? 0 : std::min<std::uint32_t>(layer2Start - 1u, 0xFFFF);
    NoteRoom(1, start, last, start, layer2Start);
    if (!*fits) return true;
    *base = start;
    return WritePointer(keypad::kLayer1End, static_cast<std::uint16_t>(end));
  }

  bool PlaceInLayer2(std::uint16_t* base, bool* fits) {
    std::uint16_t top = 0;
    if (!ReadPointer(keypad::kLayer2End, &top)) return false;
    const std::uint32_t length = image_.length;
    const std::uint32_t start = top >= length + 1 ? top - length + 1 : 0;
    std::uint16_t layer1End = 0;
    if (!ReadPointer(keypad::kLayer1End, &layer1End)) return false;
    *fits = start > layer1End;
    // Address 0 is never a layer-2 start, so the room begins above it.
    NoteRoom(2, std::max<std::uint32_t>(layer1End, 1u) + 1u, top, layer1End, top);
    if (!*fits) return true;
    *base = static_cast<std::uint16_t>(start);
    return WritePointer(keypad::kLayer2Start, *base);
  }

  void NoteRoom(int layer, std::uint32_t first, std::uint32_t last, std::uint16_t lower,
                std::uint16_t upper) {
    room_ = {layer, first, last, last >= first ? last - first + 1 : 0, lower, upper, std::nullopt};
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
      switch (VerifyWrittenBlocks(link_, std::move(written_), observer_, &report_)) {
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
    report_.endSent = link_.fault() == LinkFault::None;
    return report_.endSent;
  }

  DeviceLink& link_;
  const TransferImage& image_;
  TransferObserver& observer_;
  const TransferOptions& options_;
  VerifyReport& report_;
  LayerRoom& room_;
  std::uint16_t counter_ = 0;
  bool stopped_ = false;
  // Every pointer written so far, for the verify pass.
  std::vector<WrittenBlock> written_;
};

}  // namespace

DownloadState RunTransfer(DeviceLink& link, const TransferImage& image, int layer,
                          TransferObserver& observer) {
  return RunTransfer(link, image, layer, observer, TransferOptions{}, nullptr);
}

DownloadState RunTransfer(DeviceLink& link, const TransferImage& image, int layer,
                          TransferObserver& observer, const TransferOptions& options,
                          VerifyReport* report, LayerRoom* room) {
  VerifyReport ignored;
  VerifyReport& into = report != nullptr ? *report : ignored;
  into = VerifyReport{};
  LayerRoom ignoredRoom;
  LayerRoom& roomInto = room != nullptr ? *room : ignoredRoom;
  roomInto = LayerRoom{};
  return Transfer(link, image, observer, options, into, roomInto).Run(layer);
}

}  // namespace lumivane
