// The jobs of the transfer phase (write the image, with its backup and
// verify pass, or read a layer back) and the progress they report.
#include "common/ExitStatus.h"
#include "download/DownloadChainImpl.h"
#include "download/ReadBackLines.h"
#include "translator/EmulatorTable.h"
#include "translator/NibbleKeys.h"

namespace lumivane {

namespace {
constexpr const char* kIncompleteImageLine = "The Quintrel holds an incomplete image: download it again";
}  // namespace

void DownloadChain::Impl::SetJobOutcome(std::vector<std::string> lines, std::string statusLine,
                                        std::string detail, int exitStatus) {
  run_.jobLines = std::move(lines);
  run_.outcome.statusLine = std::move(statusLine);
  run_.outcome.detail = std::move(detail);
  run_.outcome.exitStatus = exitStatus;
  run_.outcome.succeeded = exitStatus == exit_status::kSuccess;
}

std::vector<std::string> DownloadChain::Impl::StoppedTransferLines() const {
  std::vector<std::string> lines = *run_.stopLines;
  if (run_.verifyReport.endSent) {
    lines.emplace_back(kUnverifiedLine);
  } else if (run_.writesBegun) {
    lines.emplace_back(kIncompleteImageLine);
  }
  return lines;
}

DownloadState DownloadChain::Impl::WriteImage(int layer) {
  const std::uint32_t length = image().imageLength();
  host_.OnProgress({ProgressPass::Transfer, 0, length, true});
  Tell("Transfer in progress");
  if (!run_.choices.backupPath.empty()) {
    if (const std::optional<DownloadState> ended = BackUp(layer)) return *ended;
    host_.OnProgress({ProgressPass::Transfer, 0, length, true});  // the write's own pass
  }
  const ImageBuilder& built = image();
  const TransferImage transferred{built.image(), built.imageLength(), built.tableSize()};
  TransferOptions options;
  options.verify = run_.choices.verify;
  run_.writesBegun = true;
  run_.pass = ProgressPass::Transfer;
  const TransferResult transfer = RunTransfer(*run_.link, transferred, layer, *this, options);
  run_.verifyReport = transfer.verify;
  run_.layerRoom = transfer.room;
  const DownloadState written = transfer.state;
  if (written == DownloadState::Success && options.verify) {
    // Complete: the pass ran to its end, and the end command went out.
    const VerifyReport& report = run_.verifyReport;
    if (report.differing == 0) {
      const std::string verified = VerifiedLine(report);
      const char* success = StatusLineFor(DownloadState::Success);
      SetJobOutcome({verified, success}, success, verified, exit_status::kSuccess);
    } else {
      const std::string failed = VerifyFailedLine(report);
      SetJobOutcome({failed}, failed, {}, exit_status::kVerifyFailed);
    }
  }
  return written;
}

std::optional<DownloadState> DownloadChain::Impl::BackUp(int layer) {
  const std::string& path = run_.choices.backupPath;
  run_.pass = ProgressPass::Backup;
  run_.layerRead = ReadLayer(*run_.link, layer, *this);
  switch (run_.layerRead.end) {
    case LayerReadEnd::Read: break;
    case LayerReadEnd::NoImage:
      // Nothing to keep: the download goes on, and says so.
      Tell(NothingToBackUpLine(layer, path));
      return std::nullopt;
    case LayerReadEnd::LinkFailed: return DownloadState::Timeout;
    case LayerReadEnd::Stopped:
      // Nothing was written: the keypad can leave load mode.
      EndWithoutWriting();
      return DownloadState::None;
  }
  const std::vector<std::uint8_t> image = run_.layerRead.Image();
  const BackupResult saved = host_.SaveBackup(path, image);
  if (!saved.kept) {
    if (!saved.failureLine.empty()) Tell(saved.failureLine);
    const DownloadState ended = EndWithoutWriting();
    if (ended != DownloadState::Timeout) SetJobOutcome({}, saved.failureLine, {}, exit_status::kOutputUnwritable);
    return ended;
  }
  Tell(BackedUpLine(layer, path, image.size()));
  return std::nullopt;
}

DownloadState DownloadChain::Impl::ReadLayerBack(int layer) {
  Tell(kReadInProgressLine);
  run_.pass = ProgressPass::Read;
  run_.layerRead = ReadLayer(*run_.link, layer, *this);
  switch (run_.layerRead.end) {
    case LayerReadEnd::LinkFailed: return DownloadState::Timeout;
    case LayerReadEnd::Stopped: EndWithoutWriting(); return DownloadState::None;
    case LayerReadEnd::NoImage:
    case LayerReadEnd::Read: break;
  }
  const DownloadState ended = EndWithoutWriting();
  if (ended != DownloadState::Success) return ended;
  if (run_.layerRead.end == LayerReadEnd::NoImage) {
    const std::string empty = NoImageLine(layer, run_.layerRead.noImageReason);
    SetJobOutcome({empty}, empty, {}, exit_status::kLayerEmpty);
  } else {
    SetJobOutcome({}, {}, {}, exit_status::kSuccess);
  }
  return ended;
}

DownloadState DownloadChain::Impl::EndWithoutWriting() {
  DeviceLink& link = *run_.link;
  if (link.fault() != LinkFault::None) return DownloadState::Timeout;
  link.EndWrite();
  link.ConfirmDelivery();
  return link.fault() == LinkFault::None ? DownloadState::Success : DownloadState::Timeout;
}

DownloadChain::Impl::NibbleKeysLoad DownloadChain::Impl::LoadNibbleKeys(const std::string& emulatorPath,
                                                                       bool pcAtLink) {
  if (!pcAtLink) return {};
  EmulatorTable emulator(emulatorPath);
  if (!emulator.IsLoaded()) {
    return {DownloadState::EmulatorUnavailable, EmulatorFailureDetail(emulatorPath, emulator)};
  }
  run_.nibbleKeys = DeriveNibbleKeys(emulator);
  if (!EveryNibbleKeyTypes(run_.nibbleKeys)) {
    return {DownloadState::EmulatorUnavailable, emulatorPath + ": " + MissingNibbleKeysReason(run_.nibbleKeys)};
  }
  return {};
}

void DownloadChain::Impl::OnProgressStep(std::uint16_t counter) {
  if (counter % 4 != 0) return;
  host_.OnProgress({ProgressPass::Transfer, counter, image().imageLength(), false});
}

void DownloadChain::Impl::OnDataWritten(std::uint16_t counter) {
  host_.OnProgress({ProgressPass::Transfer, counter, image().imageLength(), false});
}

bool DownloadChain::Impl::StopRequested() {
  if (!run_.stopLines) host_.DeliverStopRequests();
  return run_.stopLines.has_value();
}

void DownloadChain::Impl::OnVerifyBegin(std::uint32_t total) {
  EnterPhase(DownloadPhase::Verifying);
  BeginPass(ProgressPass::Verify, total);
}

// The verify pass and a read-back are passes of their own on the progress
// bar and the byte counter, which start at 0.
void DownloadChain::Impl::BeginPass(ProgressPass pass, std::uint32_t total) {
  run_.pass = pass;
  run_.passTotal = total;
  host_.OnProgress({pass, 0, total, true});
  host_.OnProgress({pass, 0, total, false});
}

void DownloadChain::Impl::StepPass(std::uint32_t done) {
  if (done % 4 != 0 && done != run_.passTotal) return;
  host_.OnProgress({run_.pass, done, run_.passTotal, false});
}

}  // namespace lumivane
