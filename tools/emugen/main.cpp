// emugen: writes the emulator files of every layout of the emulator list.
//   emugen OUTPUT_DIRECTORY      write <Name>.emu for every layout
//   emugen --dump XKB_LAYOUT     show what xkb gives on each key (for checking)
// Run by hand after a change of the layout tables; the files are kept in the
// source tree under emulators/.
#include <cstdio>
#include <string>

#include "EmulatorSet.h"
#include "ScanCodes.h"
#include "XkbDataVersion.h"
#include "XkbLayoutReader.h"

namespace {

void PutUtf8(char32_t c) {
  if (c < 0x80) {
    std::putchar(static_cast<int>(c));
  } else if (c < 0x800) {
    std::putchar(static_cast<int>(0xC0 | (c >> 6)));
    std::putchar(static_cast<int>(0x80 | (c & 0x3F)));
  } else {
    std::putchar(static_cast<int>(0xE0 | ((c >> 12) & 0x0F)));
    std::putchar(static_cast<int>(0x80 | ((c >> 6) & 0x3F)));
    std::putchar(static_cast<int>(0x80 | (c & 0x3F)));
  }
}

int Dump(const std::string& layout) {
  const emugen::XkbLayoutResult xkb = emugen::ReadXkbLayout(layout, "");
  if (!xkb.ok) {
    std::fprintf(stderr, "emugen: %s\n", xkb.error.c_str());
    return 1;
  }
  for (const emugen::PhysicalKey& key : emugen::TypingKeys()) {
    std::printf("evdev %3d make %3u:", key.evdev, key.make);
    for (const emugen::KeySymbol& symbol : xkb.keys.at(key.evdev)) {
      std::printf("  ");
      if (symbol.deadKeysym) {
        std::printf("dead:%04x", symbol.deadKeysym);
      } else if (symbol.character >= 0x20) {
        PutUtf8(symbol.character);
      } else {
        std::printf("-");
      }
    }
    std::printf("\n");
  }
  return 0;
}

bool WriteText(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--dump") return Dump(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: emugen OUTPUT_DIRECTORY | emugen --dump XKB_LAYOUT\n");
    return 2;
  }
  const emugen::GenerationResult result = emugen::GenerateAll(emugen::InstalledXkbDataVersion());
  for (const std::string& error : result.errors) std::fprintf(stderr, "emugen: error: %s\n", error.c_str());
  if (!result.errors.empty()) return 1;
  const std::string directory = std::string(argv[1]) + "/";
  for (const emugen::EmulatorFile& file : result.files) {
    for (const std::string& note : file.notes) std::printf("%s: %s\n", file.name.c_str(), note.c_str());
    if (!WriteText(directory + file.name + ".emu", file.text)) {
      std::fprintf(stderr, "emugen: cannot write %s%s.emu\n", directory.c_str(), file.name.c_str());
      return 1;
    }
  }
  std::printf("emugen: wrote %zu files to %s\n", result.files.size(), directory.c_str());
  return 0;
}
