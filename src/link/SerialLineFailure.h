#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

class SerialPort;

// The status line that names a serial port and why it failed:
// "<port>: the line was hung up" when the line is gone, "<port>:
// <timeoutText>" for a time-out, else the system's text for the error.
std::string DescribeSerialFailure(SerialPort& port, const std::string& portName,
                                  std::uint32_t code, const char* timeoutText);

}  // namespace lumivane
