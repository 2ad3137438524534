#include "lsp/LoadedLayout.h"

#include <unordered_set>

#include "common/SystemErrorText.h"
#include "download/FailureDetails.h"
#include "translator/DownloadState.h"
#include "translator/ImageBuilder.h"
#include "translator/RegularFile.h"

namespace lumivane::lsp {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The layout's name as the translator's sentences give it: the file's
// name without ".emu".
std::string LayoutNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".emu") == 0) name.resize(name.size() - 4);
  return name;
}

}  // namespace

std::unique_ptr<LoadedLayout> LoadedLayout::FromFile(const std::string& choice, const std::string& path,
                                                     const std::vector<std::string>& folders) {
  std::unique_ptr<LoadedLayout> layout(new LoadedLayout);
  layout->path_ = path;
  layout->fromFile_ = true;
  layout->name_ = LayoutNameOf(path);
  layout->existed_ = ::stat(path.c_str(), &layout->identity_) == 0;
  ReadableFile file = OpenRegularFile(path);
  int error = 0;
  if (file.outcome == OpenOutcome::Opened) {
    FileContent content = ReadWhole(file.fd(), EmulatorTable::kMaximumFileSize);
    error = content.error;
    if (error == 0) layout->Take(std::move(content.bytes));
  }
  if (!layout->usable()) {
    // The reason as the translation of a file gives it.
    const EmulatorTable probe(path);
    std::string detail = MissingLayoutDetailFor(choice, path, folders);
    if (detail.empty()) detail = probe.IsLoaded() ? path + ": " + SystemErrorText(error) : EmulatorFailureDetail(path, probe);
    layout->failure_ = std::string(StatusLineFor(DownloadState::EmulatorUnavailable)) + ": " + detail;
  }
  return layout;
}

std::unique_ptr<LoadedLayout> LoadedLayout::FromBytes(std::string bytes, std::string name) {
  std::unique_ptr<LoadedLayout> layout(new LoadedLayout);
  layout->name_ = std::move(name);
  layout->Take(std::move(bytes));
  if (!layout->usable()) {
    layout->failure_ = std::string(StatusLineFor(DownloadState::EmulatorUnavailable)) + ": " +
                       layout->name_ + ": " + layout->table_->FailureReason();
  }
  return layout;
}

void LoadedLayout::Take(std::string bytes) {
  bytes_ = std::move(bytes);
  table_ = std::make_unique<EmulatorTable>(EmulatorTable::InMemory{bytes_});
  codePage_ = CodePage(CodePageOfLayoutHeader(std::string_view(bytes_).substr(0, 4096)));
  if (!table_->IsLoaded()) return;
  std::unordered_set<std::string_view> seen;
  for (const std::string_view name : table_->TagNames()) {
    if (seen.insert(name).second) keyNames_.emplace_back(name);
  }
}

std::vector<unsigned> LoadedLayout::CodesOf(const std::string& name) {
  std::vector<unsigned> codes;
  if (!usable() || !table_->FindName(name.c_str())) return codes;
  for (unsigned code = table_->NextNumber(); code != 0; code = table_->NextNumber()) codes.push_back(code & 0xFF);
  return codes;
}

bool LoadedLayout::Changed() const {
  if (!fromFile_) return false;
  struct stat now {};
  const bool exists = ::stat(path_.c_str(), &now) == 0;
  return exists != existed_ || (exists && !SameFile(now, identity_));
}

}  // namespace lumivane::lsp
