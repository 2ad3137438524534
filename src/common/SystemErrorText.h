#pragma once
#include <cstring>
#include <string>

namespace lumivane {

// The system's text for an errno value ("No such file or directory"), as
// lines put it after the file, port or node they name.
inline std::string SystemErrorText(int systemError) {
  char buffer[256];
  // The GNU strerror_r: thread-safe, returns the text (maybe not in buffer).
  return ::strerror_r(systemError, buffer, sizeof buffer);
}

}  // namespace lumivane
