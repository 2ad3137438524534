#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct termios;

namespace lumivane {

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
  // Output that has not left yet is dropped, so that closing never waits
  // for a line that takes no more bytes.
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

  // Line state (SerialPortLine.cpp). Every wait is bounded.
  //
  // Drops every byte received so far, the held-back ones included, and
  // whatever follows until no byte has come for a quiet period: firstQuietMs
  // at first (long when a late byte is expected), quietMs once a byte has
  // come. *dropped tells whether there was anything to drop. 0, kTimeout
  // when the line did not fall quiet within limitMs, or the errno of a
  // failed line. Output is left alone.
  virtual std::uint32_t DiscardInput(std::uint32_t firstQuietMs, std::uint32_t quietMs,
                                     std::uint32_t limitMs, bool* dropped);
  // Waits until the output queue is empty: 0, kTimeout after timeoutMs, or
  // the errno of a failed line (EIO when it was hung up meanwhile).
  virtual std::uint32_t WaitUntilSent(std::uint32_t timeoutMs);
  // 0 while the line is up, watching it for up to watchMs; EIO as soon as
  // it is hung up or failed (the other end closed, the device unplugged).
  virtual std::uint32_t CheckLine(std::uint32_t watchMs);

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
  // The port's file descriptor (-1 when closed), for callers that poll it.
  int FileDescriptor() const { return portHandle; }

 protected:
  std::uint32_t lastError = 0;
  int portHandle = -1;
  std::uint32_t lastEvent = 0xFFFFFFFFu;
  // Completion signal of the object's own transfers (an eventfd); exists
  // exactly while the port is open.
  int ioEvent = -1;

 private:
  friend class CompletionRecord;
  struct LineCounts {
    int breaks = 0, frames = 0, overruns = 0, parities = 0, bufferOverruns = 0;
  };

  std::uint32_t Fail(std::uint32_t code) { return lastError = code; }
  std::uint32_t FailErrno();
  bool RequireOpen();  // false (and lastError 6) when closed
  bool LoadLineSettings(::termios* settings);
  // Runs an operation set up on a record: completes it at once when it can;
  // otherwise leaves it pending with the caller's record, or waits for it
  // (at most timeoutMs) on the internal one and cancels it on time-out.
  // The common start of Read (isRead) and Write.
  std::uint32_t StartTransfer(bool isRead, const void* writeBytes, void* readBuffer,
                              std::uint32_t count, std::uint32_t* countOut,
                              CompletionRecord* completion, std::uint32_t timeoutMs);
  std::uint32_t Transfer(CompletionRecord& record, bool callerRecord, std::uint32_t* countOut,
                         std::uint32_t timeoutMs);
  // Advances a started operation without blocking; true when it completed.
  bool Progress(CompletionRecord& record);
  // Ends a pending operation early; partly read bytes return to the input.
  void Abandon(CompletionRecord& record);
  // A read that ends without delivering gives its partial bytes back to the input.
  void HoldBack(CompletionRecord& record);
  void Detach(CompletionRecord& record);
  std::uint32_t EventBitsNow(bool* pollLineCounts);
  bool ReadLineCounts(LineCounts* counts);

  std::uint32_t eventMask_ = 0;
  std::uint8_t eventChar_ = 0;
  int readMode_ = ReadNonBlocking;
  std::uint32_t inputQueueSize_ = 0;   // kept for the record; Linux has no per-port queue size
  std::uint32_t outputQueueSize_ = 0;
  // Bytes taken from the port but not delivered: the part of a read that
  // timed out or was cancelled. Later reads deliver them first.
  std::vector<std::uint8_t> heldInput_;
  LineCounts eventBaseline_;   // line counters when the event mask was set
  LineCounts errorBaseline_;   // line counters at the last ClearLineErrors
  std::vector<CompletionRecord*> pending_;  // started with a caller's record, not yet complete
};

// Completion record for the asynchronous form of Write, Read and WaitEvent.
// The call only starts the operation; Wait drives it to completion (the
// transfer happens on the caller's thread while it waits) and signals the
// record's eventfd. Closing the port ends a pending operation with ECANCELED.
// The program itself uses only the waiting form (no record).
class CompletionRecord {
 public:
  CompletionRecord();
  ~CompletionRecord();
  CompletionRecord(const CompletionRecord&) = delete;
  CompletionRecord& operator=(const CompletionRecord&) = delete;

  // Waits up to timeoutMs (SerialPort::kInfinite: no limit) for the
  // operation to complete. 0 when it has completed (see Result), 1460 when
  // it is still pending, 6 when nothing was started.
  std::uint32_t Wait(std::uint32_t timeoutMs);
  // Gives up a pending operation; a read's partly received bytes stay
  // with the port for the next read.
  void Cancel();
  bool IsPending() const { return port_ != nullptr && !complete_; }
  bool IsComplete() const { return complete_; }
  // Outcome of the completed operation (0 or an error code) and its byte count.
  std::uint32_t Result() const { return result_; }
  std::uint32_t Count() const { return transferred_; }
  // Readable once the operation has completed (for poll).
  int EventFd() const { return eventFd_; }

 private:
  friend class SerialPort;
  enum class Operation { None, Read, Write, WaitEvent };

  explicit CompletionRecord(int borrowedEventFd);
  void Reset(SerialPort* port, Operation operation);
  void Complete(std::uint32_t result);

  SerialPort* port_ = nullptr;
  Operation operation_ = Operation::None;
  std::uint8_t* readBuffer_ = nullptr;
  const std::uint8_t* writeBytes_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t transferred_ = 0;
  std::uint32_t result_ = 0;
  bool complete_ = false;
  bool blockingRead_ = false;
  bool pollLineCounts_ = false;  // an event wait must look at the line counters now and then
  int eventFd_ = -1;
  bool ownsEventFd_ = true;
};

}  // namespace lumivane
