#pragma once
#include <optional>
#include <string>
#include <vector>

#include "download/DownloadHost.h"

namespace lumivane {

class SettingsStore;
struct LaunchPaths;

// Section and keys of the settings file.
inline constexpr const char* kSettingsSection = "Quintrel";
inline constexpr const char* kPortsSection = "Ports";
namespace settings_key {
inline constexpr const char* kFileToDownload = "FileToDownload";
inline constexpr const char* kEmulation = "Emulation";
inline constexpr const char* kKeys = "Keys";
inline constexpr const char* kLayer = "Layer";
inline constexpr const char* kExecRun = "ExecRun";
inline constexpr const char* kLinkWith = "LinkWith";
inline constexpr const char* kComPort = "COMx";
inline constexpr const char* kEditor = "Editor";
inline constexpr const char* kKeyboard = "Keyboard";  // the PC/AT link's keyboard event node
}  // namespace settings_key

inline constexpr const char* kDefaultSourceName = "Kt90NewConfig.pos";
inline constexpr const char* kDefaultEmulation = "English_US";
inline constexpr const char* kDefaultKeys = "120";
inline constexpr const char* kDefaultComPort = "COM1";

// Every choice of the window as the settings file restores it at start-up.
struct RestoredChoices {
  std::string sourcePath;
  std::string emulation;  // stored text; selected in the list by prefix
  std::string keys;
  int layer = 1;
  bool autoRun = false;
  LinkKind link = LinkKind::Usb;
  // Only a restored RS232 link shows the port controls and reads the port.
  bool showPortControls = false;
  std::string comPort;
};

// Reads the start-up choices. A command-line source, made absolute against
// the working directory, is written to FileToDownload before anything is
// read, so it also becomes the source of a later run without arguments.
// Without a stored source the default is the sample in `sampleDirectory`.
RestoredChoices RestoreChoices(const SettingsStore& store, const std::string& sampleDirectory,
                               const std::optional<std::string>& commandLineSource);

// The link a stored LinkWith value restores. Only "__PC/AT__" restores the
// PC/AT link; every unrecognised value (the "PC/AT" the PC/AT radio itself
// writes among them) restores USB.
LinkKind LinkFromSetting(const std::string& value);
// The value a click on the link's radio writes.
const char* LinkSettingValue(LinkKind link);
// Links whose radio shows the port controls when clicked.
bool LinkClickShowsPorts(LinkKind link);

// The items of the three lists, sorted as the lists show them.
std::vector<std::string> EmulatorNames();
// The emulator list: EmulatorNames() in portable mode; in installed mode
// the layouts of the emulator directories, each name once.
std::vector<std::string> EmulatorListItems(const LaunchPaths& paths);
std::vector<std::string> KeysItems();
// COM1..COM4 and the serial devices present.
std::vector<std::string> ComPortItems(const std::vector<std::string>& serialDevices);

}  // namespace lumivane
