#include "app/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "translator/RegularFile.h"

namespace lumivane {
namespace {

// A concurrent writer holds the lock for one read, write and sync; this is
// only reached when one is stopped in the middle of it.
constexpr std::chrono::seconds kLockWait{10};
constexpr int kMaxLinkHops = 40;
// A symbolic link replaced between following it and locking its folder is
// followed again, a few times at most.
constexpr int kMaxAttempts = 4;

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

ReplaceResult Failure(ReplaceFailure failure, int error = 0) { return {failure, error}; }
ReplaceResult SystemFailure() { return {ReplaceFailure::System, errno}; }

// Where a write through the path lands: the folder and name of the last
// link's target (the path itself when it is no link).
struct Target {
  std::string directory;
  std::string name;
  int error = 0;  // errno when the path leads to no file that can be written
};

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

Target ResolveTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0;; ++hops) {
    if (hops == kMaxLinkHops) return {{}, {}, ELOOP};
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return {{}, {}, errno};
      break;  // a link to a file not yet there: the file is created
    }
    if (!S_ISLNK(info.st_mode)) break;
    char link[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), link, sizeof link);
    if (length < 0) return {{}, {}, errno};
    if (length == 0 || static_cast<std::size_t>(length) == sizeof link) return {{}, {}, ENAMETOOLONG};
    const std::string destination(link, static_cast<std::size_t>(length));
    current = destination.front() == '/' ? destination : DirectoryOf(current) + "/" + destination;
  }
  const std::size_t slash = current.rfind('/');
  Target target{DirectoryOf(current), slash == std::string::npos ? current : current.substr(slash + 1)};
  if (target.name.empty() || target.name == "." || target.name == "..") target.error = EISDIR;
  return target;
}

enum class LockState { Locked, Unsupported, TimedOut };

// Polls instead of blocking, so that the wait has a bound.
LockState LockFolder(int dirFd) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    if (::flock(dirFd, LOCK_EX | LOCK_NB) == 0) return LockState::Locked;
    if (errno == EINTR) continue;
    // Some network file systems lock nothing; write without the lock there.
    if (errno != EWOULDBLOCK) return LockState::Unsupported;
    if (std::chrono::steady_clock::now() >= deadline) return LockState::TimedOut;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::string TemporaryPrefix(const std::string& name) { return "." + name + ".tmp-"; }

std::string TemporaryName(const std::string& name) {
  return TemporaryPrefix(name) + std::to_string(::getpid());
}

// Only a lock holder creates temporary names, so under the lock every one
// of them belongs to a writer that died (kill -9) between link and rename.
void RemoveStaleTemporaries(int dirFd, const std::string& name) {
  const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (dir == nullptr) {
    if (copy >= 0) ::close(copy);
    return;
  }
  const std::string prefix = TemporaryPrefix(name);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string entryName = entry->d_name;
    if (entryName.size() <= prefix.size() || entryName.compare(0, prefix.size(), prefix) != 0) continue;
    if (entryName.find_first_not_of("0123456789", prefix.size()) != std::string::npos) continue;
    ::unlinkat(dirFd, entryName.c_str(), 0);
  }
  ::closedir(dir);
}

// The rules the system applies to writing the file in place, plus one of
// its own: a file without any write permission stays read-only for root too.
bool MayWrite(int dirFd, const std::string& name, const struct stat& info) {
  if ((info.st_mode & 0222) == 0) return false;
  return ::faccessat(dirFd, name.c_str(), W_OK, AT_EACCESS) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool WriteAll(int fd, const std::string& content) {
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// Owner and group first: fchown clears the set-id bits that fchmod then restores.
bool KeepOwnerAndMode(int fd, const struct stat& old) {
  struct stat fresh {};
  if (::fstat(fd, &fresh) != 0) return false;
  if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0) {
    return false;
  }
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Writes the new file and renames it over `name`. Unnamed (O_TMPFILE) when
// the file system allows, so that only the instant between link and rename
// can leave a name behind; a named temporary otherwise.
ReplaceResult WriteReplacement(int dirFd, const std::string& name, const std::string& content,
                               const struct stat* old, bool unnamed) {
  const std::string temporary = TemporaryName(name);
  const mode_t createMode = old ? 0600 : 0666;  // the old mode is set before any byte is written
  int raw;
  if (unnamed) {
    raw = ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
    if (raw < 0) {
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return SystemFailure();
      return WriteReplacement(dirFd, name, content, old, false);
    }
  } else {
    ::unlinkat(dirFd, temporary.c_str(), 0);
    raw = ::openat(dirFd, temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, createMode);
    if (raw < 0) return SystemFailure();
  }
  const UniqueFd fd(raw);
  auto fail = [&](ReplaceFailure failure) {
    const ReplaceResult result{failure, errno};
    if (!unnamed) ::unlinkat(dirFd, temporary.c_str(), 0);
    return result;
  };
  if (old && !KeepOwnerAndMode(fd.get(), *old)) return fail(ReplaceFailure::NotWritable);
  if (!WriteAll(fd.get(), content) || ::fsync(fd.get()) != 0) return fail(ReplaceFailure::System);
  if (unnamed) {
    ::unlinkat(dirFd, temporary.c_str(), 0);
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd.get());
    if (::linkat(AT_FDCWD, self, dirFd, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        ::linkat(fd.get(), "", dirFd, temporary.c_str(), AT_EMPTY_PATH) != 0) {
      // Without /proc (and without the privilege for AT_EMPTY_PATH) the
      // unnamed file cannot be named: write a named one instead.
      return WriteReplacement(dirFd, name, content, old, false);
    }
  }
  if (::renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(dirFd, temporary.c_str(), 0);
    return Failure(ReplaceFailure::System, error);
  }
  // The rename is durable only once the folder is; file systems that cannot
  // sync a folder say so with EINVAL, and the rename stands there anyway.
  if (::fsync(dirFd) != 0 && errno != EINVAL && errno != EROFS) return SystemFailure();
  return {};
}

// Reads the file named in the locked folder. Fails when it cannot be read
// in full, and with EAGAIN when it is no longer the file that was looked at.
FileContent ReadCurrent(int dirFd, const std::string& name, const struct stat& seen, std::size_t maxSize) {
  UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) return {{}, errno};
  if (!S_ISREG(info.st_mode) || !SameFile(info, seen)) return {{}, EAGAIN};
  return ReadWhole(fd.get(), maxSize);
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& path, const ReplaceOptions& options,
                          const ContentEdit& edit) {
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const Target target = ResolveTarget(path);
    if (const int error = target.error) {
      // A path ending in '/' names a folder.
      return Failure(error == EISDIR ? ReplaceFailure::NotRegular : ReplaceFailure::System, error);
    }
    UniqueFd dir(::open(target.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return SystemFailure();
    const LockState lock = LockFolder(dir.get());
    if (lock == LockState::TimedOut) return Failure(ReplaceFailure::System, ETIMEDOUT);

    struct stat info {};
    CurrentFile current;
    if (::fstatat(dir.get(), target.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(info.st_mode)) continue;  // a link appeared since it was followed
      if (!S_ISREG(info.st_mode)) return Failure(ReplaceFailure::NotRegular);
      current.exists = true;
    } else if (errno != ENOENT) {
      return SystemFailure();
    }
    if (current.exists) {
      for (const auto& [device, inode] : options.protectedFiles) {
        if (info.st_dev == device && info.st_ino == inode) return Failure(ReplaceFailure::Protected);
      }
      if (!MayWrite(dir.get(), target.name, info)) return Failure(ReplaceFailure::NotWritable, EACCES);
      if (options.readCurrent) {
        FileContent read = ReadCurrent(dir.get(), target.name, info, options.maxCurrentSize);
        if (read.error == EAGAIN) continue;  // replaced meanwhile by a writer that took no lock
        if (read.error != 0) return Failure(ReplaceFailure::Unreadable, read.error);
        current.content = std::move(read.bytes);
      }
    }
    const std::optional<std::string> content = edit(current);
    if (!content) return {};
    if (lock == LockState::Locked) RemoveStaleTemporaries(dir.get(), target.name);
    return WriteReplacement(dir.get(), target.name, *content, current.exists ? &info : nullptr, true);
  }
  return Failure(ReplaceFailure::System, ELOOP);
}

}  // namespace lumivane
