#include "TestPaths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace lumivane::test {

std::string SourceDir() { return LUMIVANE_SOURCE_DIR; }

std::string ProgramDir() { return LUMIVANE_PROGRAM_DIR; }

namespace {

// Removes a file or a whole tree without following symbolic links; a folder
// is made accessible to its owner first, so its entries can go.
void RemoveTree(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    unlink(path.c_str());
    return;
  }
  chmod(path.c_str(), S_IRWXU);
  if (DIR* folder = opendir(path.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") RemoveTree(path + "/" + name);
    }
    closedir(folder);
  }
  rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumivane-test-XXXXXX";
  if (mkdtemp(pattern.data())) path_ = pattern + "/";
}

TempDir::~TempDir() {
  if (!path_.empty()) RemoveTree(path_.substr(0, path_.size() - 1));
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace lumivane::test
