#pragma once
#include <functional>
#include <string>

#include "app/LaunchPaths.h"
#include "download/ChainDriver.h"
#include "download/DownloadHost.h"

namespace lumivane {

class DownloadChain;

// One run of the download chain from lumivane-cli: a download, or a read
// of a layer (KeypadJob::ReadLayer), with the chosen link's channel, the
// signals and the terminal handled as `download` handles them.
struct KeypadSession {
  DownloadChoices choices;
  std::string port;  // --port: a serial port, or the keyboard's event node on pcat
  // Keeps a download's backup; without one, backups are refused.
  ChainDriver::BackupWriter saveBackup;
  // Runs once the chain has succeeded; its result is the exit status.
  std::function<int(const DownloadChain&)> onSuccess;
};

// The options of every subcommand that talks to a keypad about a source.
struct CliKeypadOptions {
  std::string source, emulator = "English_US", keys = "120", layer = "1", link, port;
  double waitSeconds = 0;  // limit on the wait for shift+load; 0: none
};

// The session those options choose: the layout found in the emulator
// folders, the link and its port, the layer and the wait limit.
KeypadSession SessionFor(const CliKeypadOptions& options, const LaunchPaths& paths);

// Runs the session and returns its exit status (common/ExitStatus.h): onSuccess's
// (0 without one) after a success; 128 + the signal that ended it; else
// the exit status of the download's outcome. The window's
// settings file is read for [Ports] and the PC/AT keyboard node, never
// written.
int RunKeypadSession(const KeypadSession& session, const LaunchPaths& paths);

// The link an option value names ("usb", "rs232", "pcat").
LinkKind CliLinkKind(const std::string& name);

}  // namespace lumivane
