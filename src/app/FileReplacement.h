#pragma once
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumivane {

// Why a replacement did not happen; the file is then exactly as it was.
enum class ReplaceFailure {
  None,
  NotRegular,   // the path (or its link target) is a directory, FIFO, device or socket
  Unreadable,   // the file exists but its content cannot be read (or is too large)
  NotWritable,  // the user may not write the file, or its owner cannot be kept
  Protected,    // the file is one of the files the caller must not touch
  System,       // anything else; `error` holds errno
};

struct ReplaceResult {
  ReplaceFailure failure = ReplaceFailure::None;
  int error = 0;  // errno when there is one
  explicit operator bool() const { return failure == ReplaceFailure::None; }
};

// The file as it is now, seen under the folder's lock.
struct CurrentFile {
  bool exists = false;
  std::string content;  // read only when ReplaceOptions::readCurrent
};

struct ReplaceOptions {
  // The new content depends on the old: a file that exists but cannot be
  // read in full is then never replaced.
  bool readCurrent = true;
  std::size_t maxCurrentSize = 4 * 1024 * 1024;
  // (device, inode) of files that must never be replaced, whatever path names them.
  std::vector<std::pair<dev_t, ino_t>> protectedFiles;
};

// Gives the new content for the current file; nothing leaves the file as it
// is (nothing to change), which counts as success.
using ContentEdit = std::function<std::optional<std::string>(const CurrentFile& current)>;

// Replaces the regular file at `path` with new content, all or nothing.
//
// - Symbolic links are followed to the file they lead to, which is replaced
//   in its own folder; the links stay. A target that is not a regular file
//   is never written.
// - Writers of the same folder are serialised by an flock on the folder
//   (which dies with its holder; waited for at most kLockWait), and the file
//   is read again under that lock before it is edited.
// - The new content goes into an unnamed temporary file in the same folder,
//   which gets the old file's owner, group and mode, is synced, linked to
//   a temporary name and renamed over the file; the folder is synced after.
//   Temporary names that dead writers left behind are removed under the lock.
// - A file the user may not write (by the system's rules, or with no write
//   permission for anyone even when root runs this) is not replaced.
ReplaceResult ReplaceFile(const std::string& path, const ReplaceOptions& options,
                          const ContentEdit& edit);

}  // namespace lumivane
