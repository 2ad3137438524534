#pragma once
// Recording stand-ins for the three platform channels, for the link tests.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ChannelErrorPrinter.h"
#include "link/HidChannel.h"
#include "link/KeyboardLine.h"
#include "link/SerialChannel.h"

namespace lumivane::test {

using Bytes = std::vector<std::uint8_t>;

// A serial channel that records what is written and answers reads from a queue.
class RecordingSerialPort : public SerialChannel {
 public:
  std::vector<std::string> calls;  // set-up calls in order: "open:<name>", "setup:...", ..., "close"
  std::vector<Bytes> writes;       // one entry per Write call
  std::vector<std::uint32_t> writeTimeouts;
  std::vector<std::uint32_t> readTimeouts;
  std::deque<std::uint8_t> answers;  // bytes a Read returns, one per call
  ChannelError failOpen, failSetup, failHandshaking, failMask, failTimeouts;
  // Writes after this many succeed no more (the port is gone).
  std::size_t writesBeforeFailure = SIZE_MAX;
  bool nonBlocking = false;
  std::vector<std::uint32_t> discards;  // first quiet period of each DiscardInput
  std::deque<bool> dropping;            // what the next DiscardInput calls find (none: nothing)
  ChannelError lineFailure;             // what CheckLine and WaitUntilSent report
  int lineChecks = 0;
  int purges = 0;
  // Runs inside every blocking Read before it answers (time passing on a
  // manual clock while the answer is on its way).
  std::function<void()> whileAnswering;

  ChannelError Open(const std::string& name, std::uint32_t, std::uint32_t) override {
    calls.push_back("open:" + name);
    open_ = failOpen.ok();
    return failOpen;
  }
  ChannelError Close() override {
    calls.push_back("close");
    open_ = false;
    return {};
  }
  bool IsOpen() const override { return open_; }
  ChannelError Setup(std::uint32_t baud, std::uint8_t bits, std::uint8_t parity, std::uint8_t stop) override {
    calls.push_back("setup:" + std::to_string(baud) + "," + std::to_string(bits) + "," +
                    std::to_string(parity) + "," + std::to_string(stop));
    return failSetup;
  }
  ChannelError SetupHandshaking(int mode) override {
    calls.push_back("handshaking:" + std::to_string(mode));
    return failHandshaking;
  }
  ChannelError SetMask(std::uint32_t bits) override {
    calls.push_back("mask:" + std::to_string(bits));
    return failMask;
  }
  ChannelError SetupReadTimeouts(int mode) override {
    calls.push_back("timeouts:" + std::to_string(mode));
    nonBlocking = mode == ReadNonBlocking;
    return failTimeouts;
  }
  ChannelError Purge() override {
    ++purges;
    return {};
  }
  ChannelError Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                     std::uint32_t timeoutMs) override {
    if (countOut) *countOut = 0;
    if (writes.size() >= writesBeforeFailure) return ChannelError(ChannelErrorKind::HungUp, EIO);
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    writes.emplace_back(p, p + count);
    writeTimeouts.push_back(timeoutMs);
    if (countOut) *countOut = count;
    return {};
  }
  ChannelError DiscardInput(std::uint32_t firstQuietMs, std::uint32_t, std::uint32_t, bool* dropped) override {
    discards.push_back(firstQuietMs);
    *dropped = !dropping.empty() && dropping.front();
    if (!dropping.empty()) dropping.pop_front();
    return {};
  }
  ChannelError WaitUntilSent(std::uint32_t) override { return lineFailure; }
  ChannelError CheckLine(std::uint32_t) override {
    ++lineChecks;
    return lineFailure;
  }
  ChannelError Read(void* buffer, std::uint32_t count, std::uint32_t* countOut,
                    std::uint32_t timeoutMs) override {
    readTimeouts.push_back(timeoutMs);
    if (whileAnswering && !nonBlocking) whileAnswering();
    if (countOut) *countOut = 0;
    if (count == 0 || answers.empty()) {
      return nonBlocking ? ChannelError() : ChannelError(ChannelErrorKind::Timeout);
    }
    *static_cast<std::uint8_t*>(buffer) = answers.front();
    answers.pop_front();
    if (countOut) *countOut = 1;
    return {};
  }

 private:
  bool open_ = false;
};

// A HID device that records every feature report sent and answers fetches
// from a queue (the last answer repeats).
class RecordingHidDevice : public HidDevice {
 public:
  std::vector<Bytes> sent;
  std::vector<Bytes> fetchedWithId;  // the buffer as handed to GetFeatureReport
  std::deque<Bytes> answers;         // data bytes 1..8 of the next fetches
  Bytes lastAnswer = Bytes(8, 0);
  bool failing = false;
  int sendMoves = -1;     // when not negative, every send moves only this many bytes
  int* closed = nullptr;  // counts destruction (the handle closed)

  ~RecordingHidDevice() override {
    if (closed) ++*closed;
  }
  int SendFeatureReport(const std::uint8_t* report, std::size_t length) override {
    if (failing) return -1;
    if (sendMoves >= 0) return sendMoves;
    sent.emplace_back(report, report + length);
    return static_cast<int>(length);
  }
  int GetFeatureReport(std::uint8_t* report, std::size_t length) override {
    fetchedWithId.emplace_back(report, report + length);
    if (failing) return -1;
    if (!answers.empty()) {
      lastAnswer = answers.front();
      answers.pop_front();
    }
    for (std::size_t i = 0; i < 8 && i + 1 < length; ++i) report[i + 1] = lastAnswer[i];
    return static_cast<int>(length);
  }
};

// A keyboard line that records each typematic setting as (rate, delay).
class RecordingKeyboardLine : public KeyboardLine {
 public:
  std::vector<std::pair<int, int>> settings;
  bool openFails = false;
  ChannelError openError{ChannelErrorKind::AccessDenied, EACCES};
  int opens = 0, closes = 0, attempts = 0;
  bool failing = false;
  ChannelError failure{ChannelErrorKind::Unsupported, 0, "the setting did not reach a keyboard"};

  std::string Name() const override { return "/dev/input/event3"; }
  ChannelError Open() override {
    ++opens;
    return openFails ? openError : ChannelError();
  }
  void Close() override { ++closes; }
  // Runs after each setting taken, with the number taken so far (a key the
  // keypad or the user types meanwhile).
  std::function<void(std::size_t)> afterSetting;

  ChannelError SetTypematic(std::uint8_t rate, std::uint8_t delay) override {
    ++attempts;
    if (failing) return failure;
    settings.emplace_back(rate, delay);
    if (afterSetting) afterSetting(settings.size());
    return {};
  }
};

// A serial port with a keypad's memory behind it, answering synchronously.
// Records each operation as text: "read FF6B", "write FF65 2", "end"; data
// bytes of a write go to memory and to `data`.
class MemoryKeypadPort : public RecordingSerialPort {
 public:
  std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(65536, 0);
  std::vector<std::string> operations;
  Bytes data;  // every data byte, in order
  // Reads after this many answered ones get no answer, nor do reads of these addresses.
  std::size_t answeredReads = SIZE_MAX;
  std::set<std::uint16_t> silentAddresses;
  // Faulty cells: writes there are recorded in `data` but not stored.
  std::set<std::uint16_t> stuckAddresses;

  void SetPointer(std::uint16_t address, std::uint16_t value) {
    memory[address] = static_cast<std::uint8_t>(value >> 8);
    memory[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(value & 0xFF);
  }
  std::uint16_t Pointer(std::uint16_t address) const {
    return static_cast<std::uint16_t>(memory[address] << 8 | memory[static_cast<std::uint16_t>(address + 1)]);
  }
  std::size_t Count(const std::string& prefix) const {
    std::size_t n = 0;
    for (const auto& op : operations) n += op.compare(0, prefix.size(), prefix) == 0;
    return n;
  }

  ChannelError Write(const void* bytes, std::uint32_t count, std::uint32_t* countOut,
                     std::uint32_t timeoutMs) override {
    ChannelError result = RecordingSerialPort::Write(bytes, count, countOut, timeoutMs);
    if (result.failed()) return result;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (remaining_ > 0 && count == 1) {
      if (!stuckAddresses.count(address_)) memory[address_] = p[0];
      ++address_;
      data.push_back(p[0]);
      --remaining_;
      return {};
    }
    if (count != 6) return {};
    const std::uint16_t address = static_cast<std::uint16_t>(p[0] << 8 | p[1]);
    char text[32];
    if (p[5] == 0x0E) {
      std::snprintf(text, sizeof text, "read %04X", address);
      if (reads_++ < answeredReads && !silentAddresses.count(address)) answers.push_back(memory[address]);
    } else if (p[5] == 0xFD) {
      address_ = address;
      remaining_ = static_cast<std::uint16_t>(p[2] << 8 | p[3]);
      std::snprintf(text, sizeof text, "write %04X %u", address, remaining_);
    } else {
      std::snprintf(text, sizeof text, "end");
    }
    operations.push_back(text);
    return {};
  }

 private:
  std::uint16_t address_ = 0;
  std::uint32_t remaining_ = 0;
  std::size_t reads_ = 0;
};

}  // namespace lumivane::test
