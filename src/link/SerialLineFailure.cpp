#include "link/SerialLineFailure.h"

#include <cstring>

#include "link/SerialPort.h"

namespace lumivane {

std::string DescribeSerialFailure(SerialPort& port, const std::string& portName,
                                  std::uint32_t code, const char* timeoutText) {
  const char* reason = nullptr;
  // Whatever the failed call said, a line that is gone is the reason.
  if (port.CheckLine(0) != 0) {
    reason = "the line was hung up";
  } else if (code == SerialPort::kTimeout) {
    reason = timeoutText;
  } else {
    reason = std::strerror(static_cast<int>(code));
  }
  return portName + ": " + reason;
}

}  // namespace lumivane
