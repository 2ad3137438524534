#pragma once
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/FileReplacement.h"

namespace lumivane {

// A file a command reads, which an image it writes must never overwrite.
struct InputFile {
  const char* role = "";  // "the source", "the emulator file"
  std::string path;
  struct stat info {};
  bool exists = false;
};

// The inputs with their identity looked up now.
std::vector<InputFile> LookUpInputs(std::vector<InputFile> inputs);

// The input that `output` names, through any path, link or hard link; null when none.
const InputFile* InputNamedBy(const std::string& output, const std::vector<InputFile>& inputs);

// What may take an image besides a regular file.
enum class ImageTarget {
  // translate: a FIFO or a character device (a pipe, /dev/null, a
  // terminal) takes the image as a stream.
  FileOrStream,
  // A keypad session's output: only a regular file. Opening a FIFO or a
  // device could wait without end while the session's signals wait unread.
  FileOnly,
};

// Writes an image to `path`. A regular file is replaced whole or not at
// all (a failure leaves the old file as it was and no partial one), and
// never when it is one of the inputs (ReplaceFailure::Protected).
ReplaceResult WriteImageFile(const std::string& path, const std::uint8_t* bytes, std::size_t length,
                             const std::vector<InputFile>& inputs,
                             ImageTarget target = ImageTarget::FileOrStream);

// Before a keypad session: whether its output (`what`: "the backup",
// "the image") can go to `path` as WriteImageFile with FileOnly writes
// it. Nothing is written. A path that is an input, that exists and is no
// regular file, that the user may not write or whose folder is missing
// is refused on standard error ("Unable to write the backup to FILE: not
// a regular file"), with the exit status (11 for an input, 10 otherwise);
// 0 when it can be written.
int RefuseSessionOutput(const char* what, const std::string& path, const std::vector<InputFile>& inputs);

// Why a write failed, for "Unable to write ... to FILE: <reason>".
std::string ReplaceFailureReason(const ReplaceResult& result);

}  // namespace lumivane
