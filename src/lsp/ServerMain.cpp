#include "lsp/ServerMain.h"

#include <unistd.h>

#include <cerrno>

#include "app/EmulatorFiles.h"
#include "app/FileLayout.h"
#include "app/StartupChoices.h"
#include "lsp/LanguageServer.h"
#include "lsp/MessagePump.h"

namespace lumivane::lsp {

namespace {

class SystemEnvironment : public ServerEnvironment {
 public:
  explicit SystemEnvironment(const LaunchPaths& paths) : paths_(paths) {}

  PartialChoice SettingsFileChoice() override {
    // Read, never written: the window's settings.
    const SettingsStore store = SettingsStoreFor(paths_);
    PartialChoice choice;
    const std::string emulator = store.Read(kSettingsSection, settings_key::kEmulation, "");
    const std::string keys = store.Read(kSettingsSection, settings_key::kKeys, "");
    if (!emulator.empty()) choice.emulator = emulator;
    if (!keys.empty()) choice.keys = keys;
    return choice;
  }

  std::unique_ptr<LoadedLayout> LoadLayout(const std::string& emulator) override {
    const std::vector<std::string>& directories = paths_.emulatorDirectories;
    return LoadedLayout::FromFile(emulator, EmulatorPathFor(emulator, directories),
                                  LayoutFoldersFor(emulator, directories));
  }

  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }

 private:
  LaunchPaths paths_;
};

// Writes every byte; false when the output is gone.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

int RunLanguageServer(int input, int output, const LaunchPaths& paths) {
  SystemEnvironment environment(paths);
  DescriptorSource source(input);
  MessagePump pump(source);
  bool outputGone = false;
  LanguageServer server(
      environment,
      [&](const Json& message) { outputGone = outputGone || !WriteAll(output, FrameMessage(Serialize(message))); },
      [&](const Json& id) { return pump.TakeCancellation(id); });
  using std::chrono::milliseconds;
  while (!server.finished() && !outputGone) {
    // Every waiting message first; then one document's diagnostics at a
    // time, so that a message never waits for more than one analysis.
    if (std::optional<Incoming> incoming = pump.Pop(milliseconds(0))) {
      server.Handle(*incoming);
      continue;
    }
    if (server.DoPendingWork()) continue;
    const auto deadline = server.deadline();
    const milliseconds wait = deadline ? std::chrono::duration_cast<milliseconds>(*deadline - environment.Now()) +
                                             milliseconds(1)
                                       : milliseconds(60000);
    if (std::optional<Incoming> incoming = pump.Pop(wait)) server.Handle(*incoming);
  }
  source.Stop();
  pump.Join();
  return server.exitStatus();
}

}  // namespace lumivane::lsp
