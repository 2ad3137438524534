#include "translator/DownloadState.h"

namespace lumivane {

const char* StatusLineFor(DownloadState state) {
  switch (state) {
    case DownloadState::TranslationError: return "Translation error for the specified line";
    case DownloadState::Success: return "DOWNLOAD SUCCESSFUL";
    case DownloadState::WrongVersion: return "Wrong Quintrel version";
    case DownloadState::NoMemory: return "Not enough memory in the Quintrel";
    case DownloadState::Timeout: return "Quintrel communication timeout";
    case DownloadState::SourceUnavailable: return "Unable to open file for Download";
    case DownloadState::EmulatorUnavailable: return "Unable to open the selected emulator";
    case DownloadState::WrongDeviceId: return "Wrong Device ID";
    default: return nullptr;
  }
}

}  // namespace lumivane
