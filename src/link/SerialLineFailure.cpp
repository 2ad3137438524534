#include "link/SerialLineFailure.h"

#include "link/SerialChannel.h"

namespace lumivane {

std::string DescribeSerialFailure(SerialChannel& port, const std::string& portName,
                                  const ChannelError& error, const char* timeoutText) {
  // Whatever the failed call said, a line that is gone is the reason.
  if (port.CheckLine(0).failed()) return portName + ": the line was hung up";
  if (error.kind() == ChannelErrorKind::Timeout) return portName + ": " + timeoutText;
  return portName + ": " + error.Reason();
}

}  // namespace lumivane
