// The detail line after each failure's status line: which file, port or
// device, the system's reason, and a hint.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <functional>

#include "ChainFixture.h"
#include "PtyPair.h"
#include "download/FailureDetails.h"
#include "link/SerialPort.h"

namespace lumivane::test {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPress = "Press (shift+load) on the Quintrel to continue";
constexpr const char* kPort = "COM1 (/dev/fake-COM1)";

class DetailChainTest : public ChainFixture {
 public:
  using ChainFixture::host;
  using ChainFixture::keypad;
};

struct DetailCase {
  const char* name;
  std::function<void(DetailChainTest&)> arrange;
  Lines lines;  // every status line; "{length}" stands for the image's length
};

void PrintTo(const DetailCase& c, std::ostream* out) { *out << c.name; }

class FailureDetailTest : public DetailChainTest, public ::testing::WithParamInterface<DetailCase> {};

TEST_P(FailureDetailTest, FollowsTheStatusLine) {
  GetParam().arrange(*this);
  StartAndWait();
  host.Run(*chain);
  ASSERT_FALSE(chain->IsRunning());
  Lines expected;
  for (std::string line : GetParam().lines) {
    const std::size_t at = line.find("{length}");
    if (at != std::string::npos) line.replace(at, 8, std::to_string(chain->builder().imageLength()));
    expected.push_back(line);
  }
  EXPECT_EQ(host.statusLines, expected);
}

void Answer(DetailChainTest& t, std::uint8_t identity) { t.keypad.answers.push_back(identity); }

const DetailCase kDetailCases[] = {
    {"MissingSource",
     [](DetailChainTest& t) { t.host.choices.sourcePath = "/nonexistent/Shop.pos"; },
     {"Unable to open file for Download", "/nonexistent/Shop.pos: No such file or directory"}},
    {"LayoutNameMatchingNoFile",
     [](DetailChainTest& t) {
       t.host.choices.emulatorName = "Klingon";
       t.host.choices.emulatorFile = "/nonexistent/user/Klingon.emu";
       t.host.choices.emulatorDirectories = {"/nonexistent/user/", "/nonexistent/share/"};
     },
     {"Unable to open the selected emulator",
      "No layout Klingon: Klingon.emu is in none of /nonexistent/user/ and /nonexistent/share/"}},
    {"PortPermissionDenied",
     [](DetailChainTest& t) {
       t.keypad.failOpen = ChannelError(ChannelErrorKind::AccessDenied, EACCES);
     },
     {"Unable to open COM-port", std::string(kPort) + ": Permission denied (join the group)"}},
    {"PortBusy",
     [](DetailChainTest& t) { t.keypad.failOpen = ChannelError(ChannelErrorKind::Busy, EBUSY); },
     {"Unable to open COM-port",
      std::string(kPort) + ": Device or resource busy (another program holds the port: close it first)"}},
    {"SetUpStepRefused",
     [](DetailChainTest& t) {
       t.keypad.failHandshaking = ChannelError(ChannelErrorKind::InvalidArgument, EINVAL);
     },
     {"Unable to set COM-port handshaking", std::string(kPort) + ": Invalid argument"}},
    {"LinkNotSupported", [](DetailChainTest& t) { t.host.choices.link = LinkKind::Rs485; },
     {"Link option selected is not supported", "RS485 is not supported: choose USB, RS232 or PC/AT"}},
    {"WrongIdentityByte", [](DetailChainTest& t) { Answer(t, 0x41); },
     {kPress, "Wrong Device ID", std::string(kPort) + ": the keypad answered 0x41, not 0xC0"}},
    {"ReadWithoutAnswer",
     [](DetailChainTest& t) {
       Answer(t, 0xC0);
       t.keypad.silentAddresses = {0xFF67};
     },
     {kPress, "Transfer in progress", "Quintrel communication timeout",
      std::string(kPort) + ": no answer to a read of 0xFF67 within 2 s"}},
    {"NoRoomBelowLayer2",
     [](DetailChainTest& t) {
       Answer(t, 0xC0);
       t.keypad.SetPointer(0xFF67, 0x0100);
     },
     {kPress, "Transfer in progress", "Not enough memory in the Quintrel",
      "The image takes {length} bytes; layer 1 has room for 255 bytes, from its start 0x0001 up to "
      "layer 2's start 0x0100"}},
    {"NoRoomInLayer2",
     [](DetailChainTest& t) {
       Answer(t, 0xC0);
       t.host.choices.layer = 2;
       t.keypad.SetPointer(0xFF65, 0xFE00);
     },
     {kPress, "Transfer in progress", "Not enough memory in the Quintrel",
      "The image takes {length} bytes; layer 2 has room for 255 bytes, above layer 1's end 0xFE00 up "
      "to its end 0xFEFF"}},
    {"Layer1AboveLayer2",
     [](DetailChainTest& t) {
       Answer(t, 0xC0);
       t.keypad.SetPointer(0xFF63, 0x6001);
       t.keypad.SetPointer(0xFF67, 0x4000);
     },
     {kPress, "Transfer in progress", "Not enough memory in the Quintrel",
      "The image takes {length} bytes; layer 1 has no room, from its start 0x6001 up to layer 2's "
      "start 0x4000"}},
};

INSTANTIATE_TEST_SUITE_P(Chain, FailureDetailTest, ::testing::ValuesIn(kDetailCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PermissionHint, NamesTheGroupAndWhatToDo) {
  const struct {
    DeviceGroupAccess access;
    const char* hint;
  } cases[] = {
      {{"dialout", false, false},
       " (add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again)"},
      {{"uucp", false, true},
       " (your user is in the uucp group, but this session started before it was added: log in again)"},
      {{"dialout", true, true}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PermissionHint(c.access), c.hint) << c.access.group;
}

// ---- The real serial port: missing, busy, and what is no serial port ----

class PortOpenDetailTest : public ::testing::Test {
 protected:
  PortOpenDetailTest() : host(&clock) {
    host.choices.sourcePath = SourceDir() + "/samples/Kt90NewConfig.pos";
    host.choices.emulatorFile = SourceDir() + "/emulators/English_US.emu";
    host.choices.link = LinkKind::Rs232;
  }
  Lines Download(const std::string& portName) {
    host.statusLines.clear();
    host.choices.portName = portName;
    LinkChannels channels;
    channels.serialPort = &port;
    channels.clock = &clock;
    channels.resolvePortName = [this](const std::string& name) {
      return name == "COM9" ? dir.path() + "gone" : name;
    };
    DownloadChain chain(host, channels, SourceDir() + "/emulators/");
    chain.StartDownload();
    host.Run(chain, 0);
    EXPECT_FALSE(chain.IsRunning());
    return host.statusLines;
  }

  ManualClock clock;
  FakeDownloadHost host;
  SerialPort port{clock};
  TempDir dir;
};

TEST_F(PortOpenDetailTest, NamesThePortAndTheReason) {
  PtyPair held;
  ASSERT_TRUE(held.ok());
  SerialPort holder;  // another program holds this one
  ASSERT_TRUE(holder.Open(held.devicePath(), 2048, 2048).ok());
  ASSERT_TRUE(WriteFile(dir.path() + "file", "x"));
  const struct {
    std::string port;
    std::string detail;
  } cases[] = {
      {dir.path() + "no-such-port", dir.path() + "no-such-port: No such file or directory"},
      {"COM9", "COM9 (" + dir.path() + "gone): No such file or directory"},
      {held.devicePath(),
       held.devicePath() + ": Device or resource busy (another program holds the port: close it first)"},
      {dir.path() + "file", dir.path() + "file: not a serial port (Inappropriate ioctl for device)"},
      {"/dev/null", "/dev/null: not a serial port (Inappropriate ioctl for device)"},
      {dir.path(), dir.path() + ": not a serial port (Is a directory)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Download(c.port), (Lines{"Unable to open COM-port", c.detail})) << c.port;
  }
}

}  // namespace
}  // namespace lumivane::test
