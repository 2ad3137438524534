// lumivane-keypad-sim: a keypad on a pseudo-terminal for RS232 downloads.
// Prints the device path, serves the keypad until the end command (--once)
// or Ctrl-C, then prints a decode of the layer it received.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <algorithm>
#include <string>
#include <vector>

#include "sim/LayerDecode.h"
#include "sim/MemoryFile.h"
#include "sim/PtyKeypad.h"

namespace {

using lumivane::sim::KeypadOptions;

// A 16-bit value written in decimal or with 0x.
bool ParseAddress(const std::string& text, std::uint16_t* value) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || parsed > 0xFFFF) return false;
  *value = static_cast<std::uint16_t>(parsed);
  return true;
}

// Written whole under a temporary name first, so that a script waiting for
// the file never reads half a path.
bool WritePathFile(const std::string& file, const std::string& devicePath) {
  const std::string temporary = file + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << devicePath << '\n';
    if (!out) return false;
  }
  return std::rename(temporary.c_str(), file.c_str()) == 0;
}

void PutPointer(std::vector<std::uint8_t>& memory, std::uint16_t address, std::uint16_t value) {
  memory[address] = static_cast<std::uint8_t>(value >> 8);
  memory[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated keypad on a pseudo-terminal (RS232 link)"};
  KeypadOptions options;
  long delayMs = 1000;
  long slowMs = 0;
  bool wrongIdentity = false;
  bool once = false;
  std::size_t hangUpAfter = 0;
  std::size_t hangUpInEnd = 0;
  std::size_t stopReadingAfter = 0;
  std::size_t answerReadsFor = 0;
  std::size_t lateRead = 0;
  long lateMs = 2500;
  std::size_t extraAfter = 0;
  std::string extraByte;
  std::string layer1Start, layer1End, layer2Start, layer2End;
  std::string pathFile;
  bool probeEqual = false;
  int tableSize = 0;
  std::string memoryFile;
  std::vector<std::string> stuckBytes;

  app.add_option("--delay", delayMs, "ms from the identity request to shift+load (default 1000)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--wrong-identity", wrongIdentity, "answer the identity request as another keypad");
  app.add_flag("--silent", options.silent, "never answer the identity request");
  app.add_option("--slow", slowMs, "ms of delay before each read answer")->check(CLI::NonNegativeNumber);
  auto* hangUpOption =
      app.add_option("--hangup-after", hangUpAfter, "hang up after this many received bytes");
  auto* hangUpInEndOption =
      app.add_option("--hangup-in-end", hangUpInEnd,
                     "hang up after this many bytes (0-5) of the end command that follows the image")
          ->check(CLI::Range(0, 5));
  auto* stopReadingOption =
      app.add_option("--stop-reading-after", stopReadingAfter,
                     "after this many received bytes take no more, the line staying up");
  auto* unansweredOption = app.add_option("--unanswered-after", answerReadsFor,
                                          "leave reads unanswered after this many commands");
  auto* lateOption = app.add_option("--late-answer", lateRead,
                                    "answer read command N (1 = the first) late")
                         ->check(CLI::PositiveNumber);
  app.add_option("--late-by", lateMs, "ms the late answer waits (default 2500)")
      ->check(CLI::NonNegativeNumber);
  auto* extraOption = app.add_option("--extra-after", extraAfter,
                                     "send an extra byte after the identity answer (0) or after "
                                     "the answer to read command N");
  app.add_option("--extra-byte", extraByte, "the extra byte (default: the answer again)");
  app.add_option("--layer1-start", layer1Start, "layer-1 start pointer (default 0x0001)");
  app.add_option("--layer1-end", layer1End, "layer-1 end pointer (default 0x0000)");
  app.add_option("--layer2-start", layer2Start, "layer-2 start pointer (default 0x8000)");
  app.add_option("--layer2-end", layer2End, "layer-2 end pointer (default 0xFEFF)");
  app.add_flag("--probe-equal", probeEqual, "equal probe windows (layer-1 start becomes 0x6001)");
  app.add_option("--table-size", tableSize, "key-table size for the decode (463 or 1383; default: inferred)");
  app.add_option("--memory", memoryFile,
                 "load the 64 KiB memory from FILE if it exists; save it there at the end");
  app.add_option("--stuck-byte", stuckBytes, "the byte at ADDR ignores writes (may be repeated)")
      ->option_text("ADDR");
  app.add_flag("--once", once, "exit after the end command");
  app.add_option("--print-path-file", pathFile, "also write the device path to this file");
  CLI11_PARSE(app, argc, argv);

  const struct {
    const std::string& text;
    std::uint16_t* value;
    const char* name;
    std::uint16_t address;
  } pointers[] = {{layer1Start, &options.layer1Start, "--layer1-start", 0xFF63},
                  {layer1End, &options.layer1End, "--layer1-end", 0xFF65},
                  {layer2Start, &options.layer2Start, "--layer2-start", 0xFF67},
                  {layer2End, &options.layer2End, "--layer2-end", 0xFF69}};
  for (const auto& pointer : pointers) {
    if (!pointer.text.empty() && !ParseAddress(pointer.text, pointer.value)) {
      std::fprintf(stderr, "%s: not a 16-bit value: %s\n", pointer.name, pointer.text.c_str());
      return 2;
    }
  }
  for (const std::string& text : stuckBytes) {
    std::uint16_t address = 0;
    if (!ParseAddress(text, &address)) {
      std::fprintf(stderr, "--stuck-byte: not a 16-bit address: %s\n", text.c_str());
      return 2;
    }
    options.stuckBytes.push_back(address);
  }
  if (!memoryFile.empty()) {
    std::string error;
    if (!lumivane::sim::LoadMemoryFile(memoryFile, &options.memory, &error)) {
      std::fprintf(stderr, "lumivane-keypad-sim: %s\n", error.c_str());
      return 1;
    }
    // A memory kept from an earlier session has its own control area; the
    // pointers given now are laid over it.
    if (!options.memory.empty()) {
      for (const auto& pointer : pointers) {
        if (!pointer.text.empty()) PutPointer(options.memory, pointer.address, *pointer.value);
      }
      if (probeEqual) {
        std::copy_n(options.memory.begin() + 0x5FF1, 5, options.memory.begin() + 0x7FF1);
      }
    }
  }
  options.shiftLoadDelay = std::chrono::milliseconds(delayMs);
  options.readAnswerDelay = std::chrono::milliseconds(slowMs);
  if (wrongIdentity) options.SetWrongIdentity();
  if (probeEqual) options.probeHigh = options.probeLow;
  if (*hangUpOption) options.hangUpAfterBytes = hangUpAfter;
  if (*unansweredOption) options.answerReadsForCommands = answerReadsFor;
  if (*hangUpInEndOption) options.hangUpInEndCommand = hangUpInEnd;
  if (*stopReadingOption) options.stopReadingAfterBytes = stopReadingAfter;
  if (*lateOption) options.lateAnswerRead = lateRead;
  options.lateAnswerDelay = std::chrono::milliseconds(lateMs);
  if (*extraOption) options.extraBytesAfter = extraAfter;
  if (!extraByte.empty()) {
    std::uint16_t value = 0;
    if (!ParseAddress(extraByte, &value) || value > 0xFF) {
      std::fprintf(stderr, "--extra-byte: not a byte value: %s\n", extraByte.c_str());
      return 2;
    }
    options.extraBytes = {static_cast<std::uint8_t>(value)};
  }

  // Ctrl-C and termination end the serving loop through a signalfd, so the
  // decode is still printed.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

  lumivane::sim::PtyKeypad keypad(options, once);
  std::string error;
  if (!keypad.Open(&error)) {
    std::fprintf(stderr, "lumivane-keypad-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("Keypad listening on %s\n", keypad.devicePath().c_str());
  std::fflush(stdout);
  if (!pathFile.empty() && !WritePathFile(pathFile, keypad.devicePath())) {
    std::fprintf(stderr, "lumivane-keypad-sim: cannot write %s\n", pathFile.c_str());
    return 1;
  }

  const bool served = keypad.Serve(signalFd);
  const lumivane::sim::KeypadModel result = keypad.Snapshot();
  // The program checks the line after the end command: stay on it until
  // the program lets go, as a keypad that is done does.
  if (served && once && result.IsFinished()) keypad.WaitForRelease(std::chrono::seconds(5), signalFd);
  if (result.IsHungUp()) {
    std::printf("Hung up after %zu bytes\n", result.bytesReceived());
  } else if (result.StoppedReading()) {
    std::printf("Stopped reading after %zu bytes\n", result.bytesReceived());
  }
  std::fputs(lumivane::sim::DescribeReceivedLayer(result, tableSize).c_str(), stdout);
  if (signalFd >= 0) close(signalFd);
  if (!memoryFile.empty()) {
    std::string error;
    if (!lumivane::sim::SaveMemoryFile(memoryFile, result.memory().data(), result.memory().size(),
                                       &error)) {
      std::fprintf(stderr, "lumivane-keypad-sim: %s\n", error.c_str());
      return 1;
    }
  }
  if (!served) {
    std::fprintf(stderr, "lumivane-keypad-sim: the line failed\n");
    return 1;
  }
  return 0;
}
