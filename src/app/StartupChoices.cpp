#include "app/StartupChoices.h"

#include "app/EmulatorFiles.h"
#include "app/LaunchPaths.h"
#include "app/SettingsStore.h"
#include "app/TextCase.h"

namespace lumivane {
namespace {

struct LinkEntry {
  const char* restoredFrom;  // value that restores the radio at start-up
  const char* written;       // value the radio's click writes
  LinkKind link;
};

// Compared in this order at start-up; the first match wins.
constexpr LinkEntry kLinkTable[] = {
    {"__PC/AT__", "PC/AT", LinkKind::PcAt},   {"USB", "USB", LinkKind::Usb},
    {"RS232", "RS232", LinkKind::Rs232},      {"RS485", "RS485", LinkKind::Rs485},
    {"Modem", "Modem", LinkKind::Modem},      {"Internet", "Internet", LinkKind::Internet},
    {"Wireless", "Wireless", LinkKind::Wireless},
};

std::string ReadSetting(const SettingsStore& store, const char* key, const std::string& fallback) {
  return store.Read(kSettingsSection, key, fallback);
}

}  // namespace

LinkKind LinkFromSetting(const std::string& value) {
  for (const LinkEntry& entry : kLinkTable) {
    if (EqualsIgnoringCase(value, entry.restoredFrom)) return entry.link;
  }
  return LinkKind::Usb;
}

const char* LinkSettingValue(LinkKind link) {
  for (const LinkEntry& entry : kLinkTable) {
    if (entry.link == link) return entry.written;
  }
  return "USB";
}

bool LinkClickShowsPorts(LinkKind link) { return link == LinkKind::Rs232 || link == LinkKind::Rs485; }

RestoredChoices RestoreChoices(const SettingsStore& store, const std::string& sampleDirectory,
                               const std::optional<std::string>& commandLineSource) {
  RestoredChoices choices;
  if (commandLineSource) {
    // Stored absolute, so that a later start from another folder finds it.
    choices.sourcePath = AbsoluteFromWorkingDirectory(*commandLineSource);
    store.Write(kSettingsSection, settings_key::kFileToDownload, choices.sourcePath);
  } else {
    choices.sourcePath = ReadSetting(store, settings_key::kFileToDownload,
                                     sampleDirectory + kDefaultSourceName);
  }
  choices.emulation = ReadSetting(store, settings_key::kEmulation, kDefaultEmulation);
  choices.keys = ReadSetting(store, settings_key::kKeys, kDefaultKeys);
  choices.layer = EqualsIgnoringCase(ReadSetting(store, settings_key::kLayer, "1"), "2") ? 2 : 1;
  choices.autoRun = EqualsIgnoringCase(ReadSetting(store, settings_key::kExecRun, "Manual"), "Auto");
  choices.link = LinkFromSetting(ReadSetting(store, settings_key::kLinkWith, "USB"));
  if (choices.link == LinkKind::Rs232) {
    choices.showPortControls = true;
    choices.comPort = ReadSetting(store, settings_key::kComPort, kDefaultComPort);
  }
  return choices;
}

std::vector<std::string> EmulatorNames() {
  std::vector<std::string> names = {
      "ASCII",   "ANSI",        "Arabic",    "Belgian",    "Canadian", "Danish",  "Dutch",
      "English_US", "English_UK", "French",  "German",     "Israeli",  "Italian",
      "LatinAmeric", "Norwegian", "Portuguese", "Spanish", "Swedish",  "Swiss",   "Custom"};
  SortIgnoringCase(names);
  return names;
}

std::vector<std::string> EmulatorListItems(const LaunchPaths& paths) {
  if (paths.mode == FileMode::Portable) return EmulatorNames();
  return EmulatorNamesIn(paths.emulatorDirectories);
}

std::vector<std::string> KeysItems() { return {"120", "360"}; }

std::vector<std::string> ComPortItems(const std::vector<std::string>& serialDevices) {
  std::vector<std::string> items = {"COM1", "COM2", "COM3", "COM4"};
  for (const std::string& device : serialDevices) {
    bool listed = false;
    for (const std::string& item : items) listed = listed || EqualsIgnoringCase(item, device);
    if (!listed) items.push_back(device);
  }
  SortIgnoringCase(items);
  return items;
}

}  // namespace lumivane
