#pragma once
#include <gtest/gtest.h>

#include "ChannelErrorPrinter.h"
#include "PtyPair.h"
#include "link/SerialPort.h"

namespace lumivane::test {

// A SerialPort opened on the device side of a fresh pseudo-terminal; the
// test plays the other end through `pty`.
class SerialPortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_EQ(ChannelError(), port.Open(pty.devicePath(), 2048, 2048));
  }
  PtyPair pty;
  SerialPort port;
};

}  // namespace lumivane::test
