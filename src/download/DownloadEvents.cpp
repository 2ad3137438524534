#include "download/DownloadEvents.h"

namespace lumivane {

const char* PhaseName(DownloadPhase phase) {
  switch (phase) {
    case DownloadPhase::Idle: return "idle";
    case DownloadPhase::Translating: return "translating";
    case DownloadPhase::Preparing: return "preparing";
    case DownloadPhase::Waiting: return "waiting";
    case DownloadPhase::Transferring: return "transferring";
    case DownloadPhase::Verifying: return "verifying";
    case DownloadPhase::Ending: return "ending";
  }
  return "?";
}

const char* PassLabel(ProgressPass pass) {
  switch (pass) {
    case ProgressPass::Transfer: return "Transfer";
    case ProgressPass::Verify: return "Verify";
    case ProgressPass::Read: return "Read";
    case ProgressPass::Backup: return "Backup";
  }
  return "?";
}

}  // namespace lumivane
