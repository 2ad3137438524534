#include "EmuWriter.h"

#include "ScanCodes.h"

namespace emugen {

std::string FormatEntryLine(const std::string& name, std::span<const unsigned> numbers) {
  std::string line = name + "=";
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) line += ',';
    line += std::to_string(numbers[i]);
  }
  return line;
}

std::string FormatEmulatorFile(std::span<const std::string> comments, std::span<const CharEntry> entries) {
  std::string text;
  for (const std::string& comment : comments) text += "# " + comment + "\n";
  for (const CharEntry& entry : entries) {
    text += FormatEntryLine(std::string(1, static_cast<char>(entry.byte)), entry.numbers) + "\n";
  }
  // A Tab in a source outside tags types the Tab key.
  const unsigned tabKey[] = {13};
  text += FormatEntryLine("\t", tabKey) + "\n";
  for (const NamedKey& key : NamedKeys()) {
    std::vector<unsigned> numbers;
    if (key.extended) numbers.push_back(code::kExtendedPrefix);
    numbers.push_back(key.make);
    text += FormatEntryLine(key.name, numbers) + "\n";
  }
  return text;
}

}  // namespace emugen
