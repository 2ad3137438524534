#pragma once
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "lsp/CodePage.h"
#include "translator/EmulatorTable.h"

namespace lumivane::lsp {

// The layout the documents are translated with: its table (kept loaded for
// every translation), its code page and its name; or why it cannot be used.
// A file is read into memory, so that changing it on disk never disturbs
// the table in use; Changed() tells when to load it again.
class LoadedLayout {
 public:
  // The file at `path`, chosen by `choice` (a layout name or a path), which
  // was looked up in `folders` (none for a path).
  static std::unique_ptr<LoadedLayout> FromFile(const std::string& choice, const std::string& path,
                                                const std::vector<std::string>& folders);
  // A layout's bytes, named `name` in the sentences.
  static std::unique_ptr<LoadedLayout> FromBytes(std::string bytes, std::string name);

  bool usable() const { return table_ && table_->IsLoaded(); }
  // "Unable to open the selected emulator: <file>: <reason>"; empty when usable.
  const std::string& failure() const { return failure_; }
  EmulatorTable& table() { return *table_; }
  const CodePage& codePage() const { return codePage_; }
  const std::string& name() const { return name_; }
  // The names a tag can reach, each once, in file order.
  const std::vector<std::string>& keyNames() const { return keyNames_; }
  // The codes of a key name or a one-byte character ("" for none).
  std::vector<unsigned> CodesOf(const std::string& name);
  // True when the file is no longer the one loaded (changed, replaced,
  // removed or made); never for bytes in memory.
  bool Changed() const;

 private:
  LoadedLayout() = default;
  void Take(std::string bytes);

  std::string path_;
  bool fromFile_ = false;
  bool existed_ = false;
  struct stat identity_ {};
  std::string bytes_;
  std::unique_ptr<EmulatorTable> table_;
  CodePage codePage_;
  std::string name_;
  std::string failure_;
  std::vector<std::string> keyNames_;
};

}  // namespace lumivane::lsp
