// Where the layout and the number of keys come from: the client's options
// or configuration, else the settings file, else English_US with 120 keys.
#include <gtest/gtest.h>

#include <filesystem>

#include "LspTestSupport.h"

namespace lumivane::test {
namespace {

namespace fs = std::filesystem;

// Key 300 exists only with 360 keys; 0x01 names the layout that cannot type it.
const std::string kSource = "<HEADER>\n<DELAY 1>\n<300>\x01";

// The messages of kSource's diagnostics.
std::vector<std::string> Messages(const Json& diagnostics) {
  std::vector<std::string> messages;
  for (const Json& diagnostic : diagnostics) messages.push_back(diagnostic["message"]);
  return messages;
}

const std::vector<std::string> kGerman360 = {"the layout German cannot type the character 0x01"};
const std::vector<std::string> kEnglish120 = {
    "key number 300 is out of range: key numbers run from 1 to 230 with 120 keys",
    "the layout English_US cannot type the character 0x01"};

// An installed copy of lumivane-cli with its own configuration and data
// folders, so that the settings file is one of the test's.
class InstalledServer {
 public:
  explicit InstalledServer(const std::string& settings) {
    fs::create_directories(dir.path() + "bin");
    fs::create_directories(dir.path() + "config/lumivane");
    fs::create_directories(dir.path() + "data/lumivane/emulators");
    fs::copy_file(ProgramDir() + "lumivane-cli", dir.path() + "bin/lumivane-cli");
    for (const char* layout : {"German.emu", "English_US.emu"}) {
      fs::copy_file(SourceDir() + "/emulators/" + layout, dir.path() + "data/lumivane/emulators/" + layout);
    }
    if (!settings.empty()) WriteFile(dir.path() + "config/lumivane/Lumivane.ini", settings);
  }
  std::vector<std::string> Environment() const {
    return {"HOME=" + dir.path(), "XDG_CONFIG_HOME=" + dir.path() + "config",
            "XDG_DATA_HOME=" + dir.path() + "data"};
  }
  std::string Program() const { return dir.path() + "bin/lumivane-cli"; }

 private:
  TempDir dir;
};

struct ChoiceCase {
  std::string name;
  std::string settingsFile;          // its text; empty for none
  Json options;                      // initializationOptions
  Json configuration;                // the client's answer to workspace/configuration; null: not supported
  std::vector<std::string> expected;
};

class LayoutChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(LayoutChoiceTest, TakesTheFirstSourceThatSetsIt) {
  const ChoiceCase& c = GetParam();
  const InstalledServer installed(c.settingsFile);
  LspClient client(installed.Environment(), installed.Program());
  const Json capabilities =
      c.configuration.is_null() ? Json::object() : Json{{"workspace", {{"configuration", true}}}};
  client.Initialize(capabilities, c.options);
  if (!c.configuration.is_null()) {
    const Json request = client.WaitFor([](const Json& m) { return m.value("method", "") == "workspace/configuration"; });
    ASSERT_EQ(request["params"]["items"][0]["section"], "lumivane");
    client.Send({{"jsonrpc", "2.0"}, {"id", request["id"]}, {"result", c.configuration}});
  }
  client.Open(kUri, kSource);
  EXPECT_EQ(Messages(client.Diagnostics(kUri)), c.expected);
}

const std::string kGermanSettings = "[Quintrel]\r\nEmulation=German\r\nKeys=360\r\n";

INSTANTIATE_TEST_SUITE_P(
    Sources, LayoutChoiceTest,
    ::testing::Values(
        ChoiceCase{"Defaults", "", nullptr, nullptr, kEnglish120},
        ChoiceCase{"SettingsFile", kGermanSettings, nullptr, nullptr, kGerman360},
        ChoiceCase{"Options", "", {{"emulator", "German"}, {"keys", "360"}}, nullptr, kGerman360},
        ChoiceCase{"NestedOptions", "", {{"lumivane", {{"emulator", "German"}, {"keys", 360}}}}, nullptr, kGerman360},
        ChoiceCase{"OptionsOverSettings", kGermanSettings, {{"emulator", "English_US"}, {"keys", "120"}}, nullptr,
                   kEnglish120},
        ChoiceCase{"ConfigurationSection", "", nullptr,
                   Json::array({{{"emulator", "German"}, {"keys", "360"}}, nullptr, nullptr}), kGerman360},
        ChoiceCase{"ConfigurationItems", "", nullptr, Json::array({nullptr, "German", "360"}), kGerman360},
        ChoiceCase{"ConfigurationOverOptions", "", {{"emulator", "English_US"}},
                   Json::array({nullptr, "German", 360}), kGerman360},
        ChoiceCase{"EmptyConfiguration", kGermanSettings, nullptr, Json::array({nullptr, nullptr, nullptr}),
                   kGerman360}),
    [](const auto& info) { return info.param.name; });

TEST(LayoutChangeTest, ConfigurationChangesAreReadAgain) {
  LspClient client;
  client.Initialize({{"workspace", {{"configuration", true}}}}, {{"emulator", "English_US"}});
  const Json first = client.WaitFor([](const Json& m) { return m.value("method", "") == "workspace/configuration"; });
  client.Send({{"jsonrpc", "2.0"}, {"id", first["id"]}, {"result", Json::array()}});
  client.Open(kUri, kSource);
  EXPECT_EQ(Messages(client.Diagnostics(kUri)), kEnglish120);
  // Pushed with the notification...
  client.Notify("workspace/didChangeConfiguration", {{"settings", {{"lumivane", {{"emulator", "German"}, {"keys", "360"}}}}}});
  // ...and asked for again: the answer counts.
  const Json again = client.WaitFor([](const Json& m) { return m.value("method", "") == "workspace/configuration"; });
  ASSERT_FALSE(again.is_null());
  client.Send({{"jsonrpc", "2.0"}, {"id", again["id"]}, {"result", Json::array({nullptr, "German", "360"})}});
  EXPECT_EQ(Messages(client.Diagnostics(kUri)), kGerman360);
}

TEST(LayoutChangeTest, AnEmulatorThatCannotBeLoadedIsOneDiagnostic) {
  TempDir dir;
  const std::string layout = dir.path() + "Mine.emu";
  LspClient client;
  client.Initialize(Json::object(), {{"emulator", layout}});
  client.Open(kUri, kSource);
  const Json missing = client.Diagnostics(kUri);
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0]["code"], "emulator_unavailable");
  EXPECT_EQ(missing[0]["message"], "Unable to open the selected emulator: " + layout + ": No such file or directory");
  EXPECT_EQ(missing[0]["range"]["start"], Json({{"line", 0}, {"character", 0}}));
  // The server goes on; once the file is there, the next change uses it.
  EXPECT_EQ(client.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}})["result"].size(), 1u) << "the header";
  WriteFile(layout, ReadFile(SourceDir() + "/emulators/English_US.emu") + "\x01=1\n");
  client.Notify("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 2}}},
                                           {"contentChanges", {{{"text", kSource + "a"}}}}});
  EXPECT_EQ(Messages(client.Diagnostics(kUri)),
            std::vector<std::string>{"key number 300 is out of range: key numbers run from 1 to 230 with 120 keys"});

  LspClient named;
  named.Initialize(Json::object(), {{"emulator", "Klingon"}});
  named.Open(kUri, kSource);
  const Json diagnostics = named.Diagnostics(kUri);
  ASSERT_EQ(diagnostics.size(), 1u);
  EXPECT_EQ(diagnostics[0]["message"],
            "Unable to open the selected emulator: No layout Klingon: Klingon.emu is not in " + ProgramDir());
}

}  // namespace
}  // namespace lumivane::test
