#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

class SerialPort;

// The reason of a write that ran out of time.
inline constexpr const char* kKeypadStoppedTaking = "the keypad stopped taking data";

// The status line that names a serial port and why it failed:
// "<port>: the line was hung up" when the line is gone, "<port>:
// <timeoutText>" for a time-out, else the system's text for the error.
std::string DescribeSerialFailure(SerialPort& port, const std::string& portName,
                                  std::uint32_t code, const char* timeoutText);

}  // namespace lumivane
