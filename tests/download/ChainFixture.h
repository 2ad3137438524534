#pragma once
// A download chain on a hand-stepped fake host, with the sample source and
// the US emulator chosen.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeDownloadHost.h"
#include "LinkFakes.h"
#include "TestPaths.h"
#include "download/DownloadChain.h"

namespace lumivane::test {

class ChainFixture : public ::testing::Test {
 protected:
  ChainFixture() : host(&clock) {
    host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    host.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    host.choices.keysText = "120";
    host.choices.portName = "COM1";
    host.choices.link = LinkKind::Rs232;
    host.choices.layer = 1;
    keypad.SetPointer(0xFF63, 0x0001);
    keypad.SetPointer(0xFF67, 0x8000);
    keypad.SetPointer(0xFF69, 0xFEFF);
  }

  // The channels a test's chain uses; the fake serial keypad by default.
  LinkChannels Channels() {
    LinkChannels channels;
    channels.serialPort = &keypad;
    channels.hidBackend = hidBackend;
    channels.keyboardLine = keyboardLine;
    channels.resolvePortName = [](const std::string& name) { return "/dev/fake-" + name; };
    // Not the groups of whoever runs the tests.
    channels.permissionHint = [](const std::string&) { return std::string(" (join the group)"); };
    channels.clock = &clock;
    return channels;
  }

  DownloadChain& Chain() {
    if (!chain) chain = std::make_unique<DownloadChain>(host, Channels(), SourceDir() + "/emulators/");
    return *chain;
  }

  // Starts a download and runs it up to the wait for the keypad (or its end).
  void StartAndWait() {
    Chain().StartDownload();
    host.Run(*chain, 0);
  }

  const std::string& LastLine() const {
    static const std::string none;
    return host.statusLines.empty() ? none : host.statusLines.back();
  }

  ManualClock clock;
  FakeDownloadHost host;
  MemoryKeypadPort keypad;
  HidBackend* hidBackend = nullptr;
  KeyboardLine* keyboardLine = nullptr;
  std::unique_ptr<DownloadChain> chain;
};

}  // namespace lumivane::test
