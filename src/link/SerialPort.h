#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

// Completion record for the asynchronous form of Write, Read and WaitEvent:
// the caller passes one, the call only starts the operation, and the caller
// waits on the record. The program itself uses only the waiting form
// (no record). The implementation defines the members it needs.
class CompletionRecord;

// One serial port for the RS232 link, over POSIX termios. Every operation
// records its outcome in lastError and returns it (0 = success): the
// system's errno for a failed call, or one of the four codes below.
class SerialPort {
 public:
  enum Handshaking { HandshakeOff = 0, HandshakeHardware = 1, HandshakeSoftware = 2 };
  enum ReadTimeouts { ReadNonBlocking = 0, ReadBlocking = 1 };

  static constexpr std::uint32_t kInvalidHandle = 6;          // the port is not open
  static constexpr std::uint32_t kAlreadyInitialized = 1247;  // Open on an open port
  static constexpr std::uint32_t kTimeout = 1460;             // a wait ran out; the transfer was cancelled
  static constexpr std::uint32_t kInvalidArgument = 0x80070057u;  // a mode outside its enumeration
  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;     // timeout without limit

  // Event bits.
  static constexpr std::uint32_t EV_RXCHAR = 0x0001;
  static constexpr std::uint32_t EV_RXFLAG = 0x0002;
  static constexpr std::uint32_t EV_BREAK = 0x0040;
  static constexpr std::uint32_t EV_ERR = 0x0080;

  SerialPort();
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // name: a device path ("/dev/ttyS0", "/dev/pts/3").
  virtual std::uint32_t Open(const std::string& name, std::uint32_t inputQueueSize,
                             std::uint32_t outputQueueSize);
  virtual std::uint32_t Close();
  virtual std::uint32_t Setup(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                              std::uint8_t stopBits);
  virtual std::uint32_t SetEventChar(std::uint8_t eventChar, bool addToMask);
  virtual std::uint32_t SetMask(std::uint32_t eventBits);
  virtual std::uint32_t WaitEvent(CompletionRecord* completion, std::uint32_t timeoutMs);
  virtual std::uint32_t SetupHandshaking(int mode);
  virtual std::uint32_t SetupReadTimeouts(int mode);
  virtual std::int32_t GetBaudRate();
  virtual std::int32_t GetDataBits();
  virtual std::int32_t GetParity();
  virtual std::int32_t GetStopBits();
  virtual std::int32_t GetHandshaking();
  virtual std::uint32_t GetEventMask();
  virtual std::uint8_t GetEventChar();
  virtual std::uint32_t Write(const char* text, std::uint32_t* countOut,
                              CompletionRecord* completion, std::uint32_t timeoutMs);
  virtual std::uint32_t Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                              CompletionRecord* completion, std::uint32_t timeoutMs);
  virtual std::uint32_t Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                             CompletionRecord* completion, std::uint32_t timeoutMs);

  std::uint32_t Purge();
  std::uint32_t TakeLastEvent();
  std::uint32_t ClearLineErrors();
  bool GetCTS();
  bool GetDSR();
  bool GetRing();
  bool GetRLSD();
  // 0 the port opens, 1 it does not exist, 2 access refused, -1 any other failure.
  static int CheckPort(const std::string& name);

  bool IsOpen() const { return portHandle >= 0; }
  std::uint32_t LastError() const { return lastError; }

 protected:
  std::uint32_t lastError = 0;
  int portHandle = -1;
  std::uint32_t lastEvent = 0xFFFFFFFFu;
  // The implementation adds what it needs (for example an eventfd for ioEvent).
};

}  // namespace lumivane
