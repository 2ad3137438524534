#include "sim/SimulatorOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>

#include "sim/MemoryFile.h"

namespace lumivane::sim {

namespace {

// A 16-bit value written in decimal or with 0x.
std::optional<std::uint16_t> ParseAddress(const std::string& text) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || parsed > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(parsed);
}

void PutPointer(std::vector<std::uint8_t>& memory, std::uint16_t address, std::uint16_t value) {
  memory[address] = static_cast<std::uint8_t>(value >> 8);
  memory[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

SimulatorCommandLine::SimulatorCommandLine(CLI::App& app) {
  app.add_option("--delay", delayMs_, "ms from the identity request to shift+load (default 1000)")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--wrong-identity", wrongIdentity_, "answer the identity request as another keypad");
  app.add_flag("--silent", silent_, "never answer the identity request");
  AddAnswerOptions(app);
  AddMemoryOptions(app);
  app.add_flag("--once", once_, "exit after the end command");
  app.add_option("--print-path-file", pathFile_, "also write the device path to this file");
}

void SimulatorCommandLine::AddAnswerOptions(CLI::App& app) {
  app.add_option("--slow", slowMs_, "ms of delay before each read answer")->check(CLI::NonNegativeNumber);
  hangUpOption_ = app.add_option("--hangup-after", hangUpAfter_, "hang up after this many received bytes");
  hangUpInEndOption_ =
      app.add_option("--hangup-in-end", hangUpInEnd_,
                     "hang up after this many bytes (0-5) of the end command that follows the image")
          ->check(CLI::Range(0, 5));
  stopReadingOption_ = app.add_option("--stop-reading-after", stopReadingAfter_,
                                      "after this many received bytes take no more, the line staying up");
  unansweredOption_ = app.add_option("--unanswered-after", answerReadsFor_,
                                     "leave reads unanswered after this many commands");
  lateOption_ = app.add_option("--late-answer", lateRead_, "answer read command N (1 = the first) late")
                    ->check(CLI::PositiveNumber);
  app.add_option("--late-by", lateMs_, "ms the late answer waits (default 2500)")
      ->check(CLI::NonNegativeNumber);
  extraOption_ = app.add_option("--extra-after", extraAfter_,
                                "send an extra byte after the identity answer (0) or after "
                                "the answer to read command N");
  app.add_option("--extra-byte", extraByte_, "the extra byte (default: the answer again)");
}

void SimulatorCommandLine::AddMemoryOptions(CLI::App& app) {
  app.add_option("--layer1-start", layer1Start_, "layer-1 start pointer (default 0x0001)");
  app.add_option("--layer1-end", layer1End_, "layer-1 end pointer (default 0x0000)");
  app.add_option("--layer2-start", layer2Start_, "layer-2 start pointer (default 0x8000)");
  app.add_option("--layer2-end", layer2End_, "layer-2 end pointer (default 0xFEFF)");
  app.add_flag("--probe-equal", probeEqual_, "equal probe windows (layer-1 start becomes 0x6001)");
  app.add_option("--table-size", tableSize_, "key-table size for the decode (463 or 1383; default: inferred)");
  app.add_option("--memory", memoryFile_, "load the 64 KiB memory from FILE if it exists; save it there at the end");
  app.add_option("--stuck-byte", stuckBytes_, "the byte at ADDR ignores writes (may be repeated)")
      ->option_text("ADDR");
}

std::array<SimulatorCommandLine::PointerChoice, 4> SimulatorCommandLine::Pointers() const {
  return {{{layer1Start_, &KeypadOptions::layer1Start, "--layer1-start", 0xFF63},
           {layer1End_, &KeypadOptions::layer1End, "--layer1-end", 0xFF65},
           {layer2Start_, &KeypadOptions::layer2Start, "--layer2-start", 0xFF67},
           {layer2End_, &KeypadOptions::layer2End, "--layer2-end", 0xFF69}}};
}

SimulatorCommandLine::Outcome SimulatorCommandLine::Settings() const {
  SimulatorSettings settings;
  settings.keypad.silent = silent_;
  settings.once = once_;
  settings.tableSize = tableSize_;
  settings.memoryFile = memoryFile_;
  settings.pathFile = pathFile_;
  // In this order: the addresses, the memory file, the answers' values.
  for (auto take : {&SimulatorCommandLine::TakeAddresses, &SimulatorCommandLine::TakeMemory,
                    &SimulatorCommandLine::TakeAnswers}) {
    if (std::optional<SimulatorRefusal> refusal = (this->*take)(settings)) return {std::nullopt, *refusal};
  }
  return {std::move(settings), {}};
}

std::optional<SimulatorRefusal> SimulatorCommandLine::TakeAddresses(SimulatorSettings& settings) const {
  for (const PointerChoice& pointer : Pointers()) {
    if (pointer.text.empty()) continue;
    const std::optional<std::uint16_t> value = ParseAddress(pointer.text);
    if (!value) return SimulatorRefusal{std::string(pointer.name) + ": not a 16-bit value: " + pointer.text};
    settings.keypad.*pointer.value = *value;
  }
  for (const std::string& text : stuckBytes_) {
    const std::optional<std::uint16_t> address = ParseAddress(text);
    if (!address) return SimulatorRefusal{"--stuck-byte: not a 16-bit address: " + text};
    settings.keypad.stuckBytes.push_back(*address);
  }
  return std::nullopt;
}

std::optional<SimulatorRefusal> SimulatorCommandLine::TakeMemory(SimulatorSettings& settings) const {
  if (memoryFile_.empty()) return std::nullopt;
  LoadedMemory loaded = LoadMemoryFile(memoryFile_);
  if (!loaded.failure.empty()) return SimulatorRefusal{"lumivane-keypad-sim: " + loaded.failure, 1};
  std::vector<std::uint8_t>& memory = settings.keypad.memory;
  memory = std::move(loaded.bytes);
  if (memory.empty()) return std::nullopt;
  // A memory kept from an earlier session has its own control area; the
  // pointers given now are laid over it.
  for (const PointerChoice& pointer : Pointers()) {
    if (!pointer.text.empty()) PutPointer(memory, pointer.address, settings.keypad.*pointer.value);
  }
  if (probeEqual_) std::copy_n(memory.begin() + 0x5FF1, 5, memory.begin() + 0x7FF1);
  return std::nullopt;
}

std::optional<SimulatorRefusal> SimulatorCommandLine::TakeAnswers(SimulatorSettings& settings) const {
  KeypadOptions& options = settings.keypad;
  options.shiftLoadDelay = std::chrono::milliseconds(delayMs_);
  options.readAnswerDelay = std::chrono::milliseconds(slowMs_);
  if (wrongIdentity_) options.SetWrongIdentity();
  if (probeEqual_) options.probeHigh = options.probeLow;
  if (*hangUpOption_) options.hangUpAfterBytes = hangUpAfter_;
  if (*unansweredOption_) options.answerReadsForCommands = answerReadsFor_;
  if (*hangUpInEndOption_) options.hangUpInEndCommand = hangUpInEnd_;
  if (*stopReadingOption_) options.stopReadingAfterBytes = stopReadingAfter_;
  if (*lateOption_) options.lateAnswerRead = lateRead_;
  options.lateAnswerDelay = std::chrono::milliseconds(lateMs_);
  if (*extraOption_) options.extraBytesAfter = extraAfter_;
  if (extraByte_.empty()) return std::nullopt;
  const std::optional<std::uint16_t> value = ParseAddress(extraByte_);
  if (!value || *value > 0xFF) return SimulatorRefusal{"--extra-byte: not a byte value: " + extraByte_};
  options.extraBytes = {static_cast<std::uint8_t>(*value)};
  return std::nullopt;
}

}  // namespace lumivane::sim
