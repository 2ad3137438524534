#pragma once
// Test output for channel errors: "Timeout", "NotFound/2 (No such file or directory)".
#include <ostream>

#include "link/ChannelError.h"

namespace lumivane {

inline void PrintTo(const ChannelError& error, std::ostream* out) {
  *out << ChannelErrorKindName(error.kind());
  if (error.systemError() != 0) *out << "/" << error.systemError();
  if (error.failed()) *out << " (" << error.Reason() << ")";
}

}  // namespace lumivane
