#pragma once
#include <termios.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/ChannelError.h"
#include "link/Clock.h"
#include "link/SerialChannel.h"

namespace lumivane {

class CompletionRecord;

// One serial port for the RS232 link, over POSIX termios: the
// SerialChannel the program uses. Every operation records its outcome in
// LastError() and returns it. Each failure the system reports keeps its
// errno, and has the kind the shared map (ChannelError.h) gives it.
//
// Every wait (timed transfers, line checks) runs on the clock given at
// construction, the monotonic clock by default.
class SerialPort : public SerialChannel {
 public:
  SerialPort();
  explicit SerialPort(Clock& clock);
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // ---- SerialChannel: the calls the download makes ----
  ChannelError Open(const std::string& name, std::uint32_t inputQueueSize,
                    std::uint32_t outputQueueSize) override;
  ChannelError Close() override;
  bool IsOpen() const override { return portHandle_ >= 0; }
  ChannelError Setup(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                     std::uint8_t stopBits) override;
  ChannelError SetupHandshaking(int mode) override;
  ChannelError SetMask(std::uint32_t eventBits) override;
  ChannelError SetupReadTimeouts(int mode) override;
  ChannelError Purge() override;
  ChannelError Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                     std::uint32_t timeoutMs) override;
  ChannelError Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                    std::uint32_t timeoutMs) override;
  // Line state (SerialPortLine.cpp). Every wait is bounded.
  ChannelError DiscardInput(std::uint32_t firstQuietMs, std::uint32_t quietMs,
                            std::uint32_t limitMs, bool* dropped) override;
  ChannelError WaitUntilSent(std::uint32_t timeoutMs) override;
  ChannelError CheckLine(std::uint32_t watchMs) override;

  // The outcome of the last operation.
  const ChannelError& LastError() const { return lastError_; }

  // ---- For completeness ----
  // The rest of a serial port's usual API. The program does not use it;
  // the tests cover it, so that it can be relied on when it is needed.
  //
  // The asynchronous forms: with a completion record the call only starts
  // the operation (see CompletionRecord); without one (nullptr) they are
  // the waiting calls above.
  ChannelError Write(const char* text, std::uint32_t* countOut, CompletionRecord* completion,
                     std::uint32_t timeoutMs);
  ChannelError Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                     CompletionRecord* completion, std::uint32_t timeoutMs);
  ChannelError Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                    CompletionRecord* completion, std::uint32_t timeoutMs);
  // Waits for one of the events of the mask; TakeLastEvent then tells which.
  ChannelError WaitEvent(CompletionRecord* completion, std::uint32_t timeoutMs);
  std::uint32_t TakeLastEvent();
  // termios has no event character: the port keeps it and WaitEvent looks
  // for it in the received bytes.
  ChannelError SetEventChar(std::uint8_t eventChar, bool addToMask);
  // The settings as the port holds them; -1 (0 for the mask and the
  // character) when they cannot be read, with the reason in LastError().
  std::int32_t GetBaudRate();
  std::int32_t GetDataBits();
  std::int32_t GetParity();
  std::int32_t GetStopBits();
  std::int32_t GetHandshaking();
  std::uint32_t GetEventMask();
  std::uint8_t GetEventChar();
  // Line errors since the last call, as bits (overrun, parity, frame, break).
  std::uint32_t ClearLineErrors();
  bool GetCTS();
  bool GetDSR();
  bool GetRing();
  bool GetRLSD();
  // Whether the port can be opened now: ok, or the error Open would give
  // (NotFound, AccessDenied, Busy, WrongDevice, ...).
  static ChannelError CheckPort(const std::string& name);
  // The port's file descriptor (-1 when closed), for callers that poll it.
  int FileDescriptor() const { return portHandle_; }

 private:
  friend class CompletionRecord;
  struct LineCounts {
    int breaks = 0, frames = 0, overruns = 0, parities = 0, bufferOverruns = 0;
  };

  ChannelError Fail(ChannelError error) { return lastError_ = std::move(error); }
  ChannelError Fail(ChannelErrorKind kind) { return Fail(ChannelError(kind)); }
  ChannelError FailErrno();
  ChannelError Succeed() { return lastError_ = ChannelError(); }
  bool RequireOpen();  // false (and LastError() NotOpen) when closed
  // The port's settings, for the getters; nothing (and LastError()) when
  // it is closed or they cannot be read.
  std::optional<::termios> LoadLineSettings();
  // Runs an operation set up on a record: completes it at once when it can;
  // otherwise leaves it pending with the caller's record, or waits for it
  // (at most timeoutMs) on the internal one and cancels it on time-out.
  // The common start of Read (isRead) and Write.
  ChannelError StartTransfer(bool isRead, const void* writeBytes, void* readBuffer,
                             std::uint32_t count, std::uint32_t* countOut,
                             CompletionRecord* completion, std::uint32_t timeoutMs);
  ChannelError Transfer(CompletionRecord& record, bool callerRecord, std::uint32_t* countOut,
                        std::uint32_t timeoutMs);
  // Advances a started operation without blocking; true when it completed.
  bool Progress(CompletionRecord& record);
  // Ends a pending operation early; partly read bytes return to the input.
  void Abandon(CompletionRecord& record);
  // A read that ends without delivering gives its partial bytes back to the input.
  void HoldBack(CompletionRecord& record);
  void Detach(CompletionRecord& record);
  struct EventBits {
    std::uint32_t bits = 0;       // the events of the mask that happened
    bool lineCountsRead = false;  // the line counters could be read for it
  };
  EventBits EventBitsNow();
  // The driver's line counters; nothing where the line has none (a pseudo-terminal).
  std::optional<LineCounts> ReadLineCounts() const;

  SteadyClock steadyClock_;
  Clock& clock_;
  ChannelError lastError_;
  int portHandle_ = -1;
  std::uint32_t lastEvent_ = 0xFFFFFFFFu;
  // Completion signal of the object's own transfers (an eventfd); exists
  // exactly while the port is open.
  int ioEvent_ = -1;
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

// Completion record for the asynchronous form of Write, Read and WaitEvent
// (for completeness: the program uses only the waiting forms). The call
// only starts the operation; Wait drives it to completion (the transfer
// happens on the caller's thread while it waits) and signals the record's
// eventfd. Closing the port ends a pending operation with Cancelled.
class CompletionRecord {
 public:
  CompletionRecord();
  ~CompletionRecord();
  CompletionRecord(const CompletionRecord&) = delete;
  CompletionRecord& operator=(const CompletionRecord&) = delete;

  // Waits up to timeoutMs (SerialChannel::kInfinite: no limit) for the
  // operation to complete. ok when it has completed (see Result), Timeout
  // when it is still pending, NotOpen when nothing was started.
  ChannelError Wait(std::uint32_t timeoutMs);
  // Gives up a pending operation; a read's partly received bytes stay
  // with the port for the next read.
  void Cancel();
  bool IsPending() const { return port_ != nullptr && !complete_; }
  bool IsComplete() const { return complete_; }
  // Outcome of the completed operation and its byte count.
  const ChannelError& Result() const { return result_; }
  std::uint32_t Count() const { return transferred_; }
  // Readable once the operation has completed (for poll).
  int EventFd() const { return eventFd_; }

 private:
  friend class SerialPort;
  enum class Operation { None, Read, Write, WaitEvent };

  explicit CompletionRecord(int borrowedEventFd);
  void Reset(SerialPort* port, Operation operation);
  void Complete(ChannelError result);

  SerialPort* port_ = nullptr;
  Operation operation_ = Operation::None;
  std::uint8_t* readBuffer_ = nullptr;
  const std::uint8_t* writeBytes_ = nullptr;
  std::uint32_t count_ = 0;
  std::uint32_t transferred_ = 0;
  ChannelError result_;
  bool complete_ = false;
  bool blockingRead_ = false;
  bool pollLineCounts_ = false;  // an event wait must look at the line counters now and then
  int eventFd_ = -1;
  bool ownsEventFd_ = true;
};

}  // namespace lumivane
