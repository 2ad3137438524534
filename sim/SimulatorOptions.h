#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/KeypadModel.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace lumivane::sim {

// What lumivane-keypad-sim is asked to do.
struct SimulatorSettings {
  KeypadOptions keypad;
  bool once = false;       // exit after the end command
  int tableSize = 0;       // key-table size for the decode; 0: inferred
  std::string memoryFile;  // load the memory from it, save it there at the end
  std::string pathFile;    // also write the device path there
};

// Why the command line cannot be served: the line for standard error, and
// the exit status (2 for a value, 1 for a memory file that cannot be read).
struct SimulatorRefusal {
  std::string line;
  int exitStatus = 2;
};

// The simulator's options as given on the command line; Settings makes
// the keypad's options of them.
class SimulatorCommandLine {
 public:
  // Adds the options to `app`, bound to this object, which must outlive the parse.
  explicit SimulatorCommandLine(CLI::App& app);

  // After the parse: the settings, with the memory file loaded, or why not.
  struct Outcome {
    std::optional<SimulatorSettings> settings;
    SimulatorRefusal refusal;  // when there are no settings
  };
  Outcome Settings() const;

 private:
  // A layer pointer as given: its text, its option, where the control area keeps it.
  struct PointerChoice {
    const std::string& text;
    std::uint16_t KeypadOptions::*value;
    const char* name;
    std::uint16_t address;
  };
  std::array<PointerChoice, 4> Pointers() const;
  void AddAnswerOptions(CLI::App& app);
  void AddMemoryOptions(CLI::App& app);
  std::optional<SimulatorRefusal> TakeAddresses(SimulatorSettings& settings) const;
  std::optional<SimulatorRefusal> TakeMemory(SimulatorSettings& settings) const;
  std::optional<SimulatorRefusal> TakeAnswers(SimulatorSettings& settings) const;

  bool silent_ = false;
  long delayMs_ = 1000;
  long slowMs_ = 0;
  bool wrongIdentity_ = false;
  bool once_ = false;
  std::size_t hangUpAfter_ = 0, hangUpInEnd_ = 0, stopReadingAfter_ = 0, answerReadsFor_ = 0;
  std::size_t lateRead_ = 0, extraAfter_ = 0;
  // The options that count only when given.
  CLI::Option* hangUpOption_ = nullptr;
  CLI::Option* hangUpInEndOption_ = nullptr;
  CLI::Option* stopReadingOption_ = nullptr;
  CLI::Option* unansweredOption_ = nullptr;
  CLI::Option* lateOption_ = nullptr;
  CLI::Option* extraOption_ = nullptr;
  long lateMs_ = 2500;
  std::string extraByte_;
  std::string layer1Start_, layer1End_, layer2Start_, layer2End_;
  std::string pathFile_;
  bool probeEqual_ = false;
  int tableSize_ = 0;
  std::string memoryFile_;
  std::vector<std::string> stuckBytes_;
};

}  // namespace lumivane::sim
