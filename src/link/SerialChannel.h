#pragma once
#include <cstdint>
#include <string>

#include "link/ChannelError.h"

namespace lumivane {

// The serial line as the RS232 link uses it: exactly the calls the
// download makes. SerialPort is the termios implementation; the tests put
// a keypad model behind this interface.
//
// Every call returns its outcome; ok() on success.
class SerialChannel {
 public:
  enum Handshaking { HandshakeOff = 0, HandshakeHardware = 1, HandshakeSoftware = 2 };
  enum ReadTimeouts { ReadNonBlocking = 0, ReadBlocking = 1 };

  // Event bits for SetMask.
  static constexpr std::uint32_t EV_RXCHAR = 0x0001;
  static constexpr std::uint32_t EV_RXFLAG = 0x0002;
  static constexpr std::uint32_t EV_BREAK = 0x0040;
  static constexpr std::uint32_t EV_ERR = 0x0080;

  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;  // a time limit without limit

  virtual ~SerialChannel() = default;

  // name: a device path ("/dev/ttyS0"). The port is held for exclusive use
  // until Close; it starts at 9600 baud, 8N1, no handshaking, reads not
  // blocking. AlreadyOpen on an open channel, which stays as it was.
  virtual ChannelError Open(const std::string& name, std::uint32_t inputQueueSize,
                            std::uint32_t outputQueueSize) = 0;
  // Output that has not left yet is dropped, so that closing never waits
  // for a line that takes no more bytes. Closing a closed channel is no error.
  virtual ChannelError Close() = 0;
  virtual bool IsOpen() const = 0;

  // parity: 0 none, 1 odd, 2 even, 3 mark, 4 space; stopBits: 0 one, 2 two.
  virtual ChannelError Setup(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                             std::uint8_t stopBits) = 0;
  virtual ChannelError SetupHandshaking(int mode) = 0;
  virtual ChannelError SetMask(std::uint32_t eventBits) = 0;
  // ReadNonBlocking: a read returns at once with what has arrived.
  // ReadBlocking: a read waits for all its bytes, up to its time limit.
  virtual ChannelError SetupReadTimeouts(int mode) = 0;

  // Drops every byte received and not yet read, and every byte not yet sent.
  virtual ChannelError Purge() = 0;
  // Writes all `count` bytes within timeoutMs; Timeout when the line did
  // not take them in time. *countOut (may be null): the bytes taken, all
  // of them on success, else 0.
  virtual ChannelError Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                             std::uint32_t timeoutMs) = 0;
  // Reads up to `count` bytes as the read mode says, waiting at most
  // timeoutMs; a blocking read that runs out of time returns Timeout with
  // *countOut 0, and the bytes it had received go to the next read.
  virtual ChannelError Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                            std::uint32_t timeoutMs) = 0;

  // Drops every byte received so far, and whatever follows until no byte
  // has come for a quiet period: firstQuietMs at first (long when a late
  // byte is expected), quietMs once a byte has come. *dropped (may be
  // null) tells whether there was anything to drop. Timeout when the line
  // did not fall quiet within limitMs. Output is left alone.
  virtual ChannelError DiscardInput(std::uint32_t firstQuietMs, std::uint32_t quietMs,
                                    std::uint32_t limitMs, bool* dropped) = 0;
  // Waits until the output queue is empty; Timeout after timeoutMs, HungUp
  // when the line was hung up meanwhile.
  virtual ChannelError WaitUntilSent(std::uint32_t timeoutMs) = 0;
  // ok while the line is up, watching it for up to watchMs; HungUp (or the
  // line's own failure) as soon as it is hung up or failed: the other end
  // closed, the device was unplugged.
  virtual ChannelError CheckLine(std::uint32_t watchMs) = 0;
};

}  // namespace lumivane
