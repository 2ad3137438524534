#pragma once
#include <string>

namespace lumivane::test {

// Root of the source tree (no trailing separator).
std::string SourceDir();
// Directory of the built executables and the data copied beside them, ending with '/'.
std::string ProgramDir();
// A fresh, empty directory below the system's temporary directory ($TMPDIR
// or /tmp), removed with everything in it when the object goes away, even
// where a test took the permissions away from a folder inside it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Ends with '/'; empty when the directory could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes bytes to a file, replacing it; returns false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace lumivane::test
