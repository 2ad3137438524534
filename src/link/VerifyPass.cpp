#include "link/VerifyPass.h"

#include <algorithm>

#include "link/DeviceLink.h"

namespace lumivane {

VerifyPassResult VerifyWrittenBlocks(DeviceLink& link, std::vector<WrittenBlock> blocks,
                                     TransferObserver& observer) {
  VerifyPassResult result;
  VerifyReport& report = result.report;
  std::sort(blocks.begin(), blocks.end(),
            [](const WrittenBlock& a, const WrittenBlock& b) { return a.address < b.address; });
  std::uint32_t total = 0;
  for (const WrittenBlock& block : blocks) total += static_cast<std::uint32_t>(block.bytes.size());
  observer.OnVerifyBegin(total);

  link.BeginReadRun();
  for (const WrittenBlock& block : blocks) {
    for (std::size_t i = 0; i < block.bytes.size(); ++i) {
      if (observer.StopRequested()) {
        link.EndReadRun();
        result.end = VerifyEnd::Stopped;
        return result;
      }
      const std::uint16_t address = static_cast<std::uint16_t>(block.address + i);
      const std::uint8_t read = link.ReadByte(address);
      if (link.fault() != LinkFault::None) {
        link.EndReadRun();
        result.end = VerifyEnd::LinkFailed;
        return result;
      }
      ++report.checked;
      if (read != block.bytes[i] && report.differing++ == 0) {
        report.firstAddress = address;
        report.wrote = block.bytes[i];
        report.read = read;
      }
      observer.OnVerifyStep(report.checked);
    }
  }
  // The answers count only once the line has shown that none lagged.
  link.EndReadRun();
  if (link.fault() != LinkFault::None) {
    result.end = VerifyEnd::LinkFailed;
    return result;
  }
  report.complete = true;
  return result;
}

}  // namespace lumivane
