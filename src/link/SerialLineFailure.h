#pragma once
#include <string>

#include "link/ChannelError.h"

namespace lumivane {

class SerialChannel;

// The reason of a write that ran out of time.
inline constexpr const char* kKeypadStoppedTaking = "the keypad stopped taking data";

// The status line that names a serial port and why it failed:
// "<port>: the line was hung up" when the line is gone, "<port>:
// <timeoutText>" for a time-out, else "<port>: <the error's reason>".
std::string DescribeSerialFailure(SerialChannel& port, const std::string& portName,
                                  const ChannelError& error, const char* timeoutText);

}  // namespace lumivane
