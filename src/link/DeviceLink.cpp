#include "link/DeviceLink.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "link/Clock.h"
#include "link/HidChannel.h"
#include "link/KeypadConstants.h"
#include "link/KeySource.h"
#include "link/KeyboardLine.h"
#include "link/SerialLineFailure.h"
#include "link/SerialChannel.h"

namespace lumivane {

namespace {

std::array<std::uint8_t, 6> ReadCommand(std::uint16_t address) {
  return {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF), 0, 0,
          0, keypad::kReadOpcode};
}

std::array<std::uint8_t, 6> WriteCommand(std::uint16_t address, std::uint16_t count) {
  return {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF),
          static_cast<std::uint8_t>(count >> 8),   static_cast<std::uint8_t>(count & 0xFF),
          0,                                        keypad::kWriteOpcode};
}

constexpr std::array<std::uint8_t, 6> kEndCommand{};

// Milliseconds that count bytes take on the line at 9600 baud, ten bits each.
std::uint32_t LineTimeMs(std::uint32_t count) { return (count * 10u * 1000u + 9599u) / 9600u; }

std::uint32_t Ms(std::chrono::milliseconds duration) {
  return static_cast<std::uint32_t>(duration.count());
}

}  // namespace

DeviceLink::DeviceLink(Clock& clock) : clock_(clock) {}

void DeviceLink::UseUsb(HidDevice* device, std::string deviceName) {
  kind_ = Kind::Usb;
  hidDevice_ = device;
  hidDeviceName_ = std::move(deviceName);
}

void DeviceLink::UseSerial(SerialChannel* port, std::string portName) {
  kind_ = Kind::Serial;
  serialPort_ = port;
  serialPortName_ = std::move(portName);
}

void DeviceLink::UsePcAt(KeyboardLine* line, KeySource* keySource,
                         const std::array<char, 16>& nibbleKeys) {
  kind_ = Kind::PcAt;
  keyboardLine_ = line;
  keySource_ = keySource;
  nibbleKeys_ = nibbleKeys;
}

void DeviceLink::Reset() {
  pendingCount_ = 1;
  answerOverdue_ = false;
  answersSuspect_ = false;
  answeredReads_ = 0;
  readRun_ = false;
  ClearFault();
}

void DeviceLink::BeginReadRun() {
  readRun_ = true;
  longestAnswer_ = std::chrono::milliseconds(0);
}

void DeviceLink::EndReadRun() {
  const bool wasRun = readRun_;
  readRun_ = false;
  if (!wasRun || fault_ == LinkFault::Broken) return;
  if (kind_ == Kind::Serial && serialPort_ != nullptr) {
    const std::chrono::milliseconds quiet =
        std::min(kAnswerTimeLimit, std::max(kAnswerAloneTime, 2 * longestAnswer_));
    bool dropped = false;
    if (!DropStaleInput(Ms(quiet), &dropped)) return;
    if (dropped && (answeredReads_ > 0 || answersSuspect_)) AnswersOutOfStep();
  } else if (kind_ == Kind::PcAt) {
    StrayAnswerInput();
  }
}

std::uint32_t DeviceLink::SerialWriteLimitMs(std::uint32_t count) {
  return Ms(kAnswerTimeLimit) + LineTimeMs(count);
}

void DeviceLink::NoteFault(LinkFault fault) {
  // A broken link stays broken; a missing answer does not hide it.
  if (fault_ != LinkFault::Broken) fault_ = fault;
}

std::string DeviceLink::ChannelName() const {
  switch (kind_) {
    case Kind::Usb: return hidDeviceName_;
    case Kind::Serial: return serialPortName_;
    case Kind::PcAt: return keyboardLine_ != nullptr ? keyboardLine_->Name() : std::string();
    case Kind::None: break;
  }
  return {};
}

void DeviceLink::NoteNoAnswer() {
  // The first fault tells what went wrong; a later one is its consequence.
  const std::string name = ChannelName();
  if (fault_ == LinkFault::None && !name.empty()) {
    char text[96];
    std::snprintf(text, sizeof text, ": no answer to a read of 0x%04X within %lld s", readAddress_,
                  static_cast<long long>(kAnswerTimeLimit.count() / 1000));
    faultDetail_ = name + text;
  }
  NoteFault(LinkFault::NoAnswer);
}

void DeviceLink::BeginCommand(const std::array<std::uint8_t, 6>& block) {
  // Data bytes still waiting in the outgoing report leave ahead of the command.
  if (pendingCount_ != 1) {
    SendFeatureReport();
    pendingCount_ = 1;
  }
  // Data bytes 7 and 8 keep what the last report left there: they are on the wire.
  for (std::size_t i = 0; i < block.size(); ++i) reportBuffer_[kOutgoing + 1 + i] = block[i];
}

void DeviceLink::SendCommandBlock() {
  const std::uint8_t* block = &reportBuffer_[kOutgoing + 1];
  switch (kind_) {
    case Kind::Usb: SendFeatureReport(); break;
    case Kind::Serial: SerialWrite(block, 6); break;
    case Kind::PcAt: SendPcAtCommand(block); break;
    case Kind::None: NoteFault(LinkFault::Broken); break;
  }
}

std::uint8_t DeviceLink::ReadByte(std::uint16_t address) {
  if (fault_ == LinkFault::Broken) return 0;
  readAddress_ = address;
  BeginCommand(ReadCommand(address));
  switch (kind_) {
    case Kind::Usb:
      SendFeatureReport();
      GetFeatureReport();
      // A fetch that failed may have left an earlier report's bytes there.
      return fault_ == LinkFault::Broken ? 0 : reportBuffer_[1];
    case Kind::Serial: return SerialRead();
    case Kind::PcAt: {
      SendCommandBlock();
      if (fault_ == LinkFault::Broken) return 0;
      // A read whose first key did not come has failed: waiting for its
      // second key would only put off the end of a download whose keypad
      // fell silent by two more seconds.
      const int low = NextNibbleKey();
      if (low < 0 || Stopping()) {
        answersSuspect_ = true;
        NoteNoAnswer();
        return 0;
      }
      const int high = NextNibbleKey();
      if (high < 0) {
        answersSuspect_ = true;
        NoteNoAnswer();
        return static_cast<std::uint8_t>(low);
      }
      ++answeredReads_;
      return static_cast<std::uint8_t>((low + 16 * high) & 0xFF);
    }
    case Kind::None: break;
  }
  NoteFault(LinkFault::Broken);
  return 0;
}

void DeviceLink::BeginWrite(std::uint16_t address, std::uint16_t count) {
  if (fault_ == LinkFault::Broken) return;
  if (kind_ == Kind::Serial && StrayAnswerInput()) return;
  BeginCommand(WriteCommand(address, count));
  SendCommandBlock();
}

void DeviceLink::EndWrite() {
  if (fault_ == LinkFault::Broken) return;
  // An answer that arrived while the data went out belongs to a read whose
  // answer was taken from another: the placement rests on wrong values, and
  // the end command must not make the image count.
  if (kind_ == Kind::Serial && StrayAnswerInput()) return;
  BeginCommand(kEndCommand);
  SendCommandBlock();
}

void DeviceLink::WriteByte(std::uint8_t value) {
  if (fault_ == LinkFault::Broken) return;
  switch (kind_) {
    case Kind::Usb:
      reportBuffer_[kOutgoing + pendingCount_] = value;
      if (++pendingCount_ == 9) {
        SendFeatureReport();
        pendingCount_ = 1;
      }
      break;
    case Kind::Serial:
      SerialWrite(&value, 1);
      BusyWait(kSerialBytePause);
      break;
    case Kind::PcAt: SendPcAtByte(value); break;
    case Kind::None: NoteFault(LinkFault::Broken); break;
  }
}

void DeviceLink::SendFeatureReport() {
  reportBuffer_[kOutgoing] = 0;
  NoteReportMoved(hidDevice_ ? hidDevice_->SendFeatureReport(&reportBuffer_[kOutgoing], kReportLength)
                             : -1);
}

void DeviceLink::GetFeatureReport() {
  reportBuffer_[0] = 0;
  NoteReportMoved(hidDevice_ ? hidDevice_->GetFeatureReport(&reportBuffer_[0], kReportLength) : -1);
}

void DeviceLink::NoteReportMoved(int moved) {
  // A report counts only when all of it moved: a short one (0 included)
  // left the keypad without the command, or the incoming half holding
  // what an earlier report left there.
  if (moved == static_cast<int>(kReportLength)) return;
  if (fault_ != LinkFault::Broken && !hidDeviceName_.empty()) {
    char text[96];
    if (moved < 0) {
      std::snprintf(text, sizeof text, ": a feature report failed (the keypad was unplugged or stopped answering)");
    } else {
      std::snprintf(text, sizeof text, ": a feature report moved %d of %zu bytes", moved, kReportLength);
    }
    faultDetail_ = hidDeviceName_ + text;
  }
  NoteFault(LinkFault::Broken);
}

std::uint8_t DeviceLink::SerialRead() {
  if (serialPort_ == nullptr) {
    NoteFault(LinkFault::Broken);
    return 0;
  }
  // The line carries one answer per read command, so any byte waiting now
  // is stale (an extra byte, an answer that came after its limit) and would
  // pass for this read's answer. After a read that got no answer, that
  // answer may still come: it is waited for, up to the answer limit, first.
  const bool overdue = answerOverdue_;
  answerOverdue_ = false;
  // In a read run the next answer is not waited out: see BeginReadRun.
  const bool streaming = readRun_ && answeredReads_ > 0;
  const std::uint32_t quiet =
      overdue ? Ms(kAnswerTimeLimit) : streaming ? 0 : Ms(kQuietBeforeRead);
  bool dropped = false;
  if (!DropStaleInput(quiet, &dropped)) return 0;
  // Later than that, a byte from nowhere means an answer of one read was
  // taken for another's (or will be: a duplicated answer).
  if (dropped && (answersSuspect_ || answeredReads_ > 0) && !overdue) return AnswersOutOfStep();
  const Clock::TimePoint sent = clock_.Now();
  SerialWrite(&reportBuffer_[kOutgoing + 1], 6);
  if (fault_ == LinkFault::Broken) return 0;
  std::uint8_t answer = 0;
  std::uint32_t received = 0;
  const ChannelError error = serialPort_->Read(&answer, 1, &received, Ms(kAnswerTimeLimit));
  if (readRun_) {
    const auto waited = std::chrono::ceil<std::chrono::milliseconds>(clock_.Now() - sent);
    longestAnswer_ = std::max(longestAnswer_, waited);
  }
  if (received == 1) {
    // A late answer that came even later than it was waited for arrives
    // as this read's answer, and this read's own answer right after it.
    if (answersSuspect_) {
      if (!DropStaleInput(Ms(kAnswerAloneTime), &dropped)) return 0;
      if (dropped) return AnswersOutOfStep();
    }
    ++answeredReads_;
    return answer;
  }
  if (error.ok() || error.kind() == ChannelErrorKind::Timeout) {
    answerOverdue_ = answersSuspect_ = true;
    NoteNoAnswer();
  } else {
    BreakSerial(error, kKeypadStoppedTaking);
  }
  return 0;
}

bool DeviceLink::DropStaleInput(std::uint32_t firstQuietMs, bool* dropped) {
  const ChannelError error = serialPort_->DiscardInput(
      firstQuietMs, Ms(kQuietBeforeRead), firstQuietMs + Ms(kAnswerTimeLimit), dropped);
  if (error.ok()) return true;
  BreakSerial(error, "the keypad does not stop sending");
  return false;
}

std::uint8_t DeviceLink::AnswersOutOfStep() {
  const std::string name = kind_ == Kind::PcAt && keyboardLine_ ? keyboardLine_->Name() : serialPortName_;
  if (fault_ != LinkFault::Broken && !name.empty())
    faultDetail_ = name + ": the keypad's answers came out of step";
  NoteFault(LinkFault::Broken);
  return 0;
}

bool DeviceLink::StrayAnswerInput() {
  bool stray = false;
  if (kind_ == Kind::Serial) {
    if (serialPort_ == nullptr || !DropStaleInput(0, &stray)) return true;
  } else if (kind_ == Kind::PcAt && keySource_ != nullptr) {
    for (const int key : keySource_->DiscardTypedKeys()) stray = stray || NibbleValue(key) >= 0;
  }
  if (!stray || (answeredReads_ == 0 && !answersSuspect_)) return false;
  AnswersOutOfStep();
  return true;
}

void DeviceLink::SerialWrite(const std::uint8_t* bytes, std::uint32_t count) {
  if (serialPort_ == nullptr) {
    NoteFault(LinkFault::Broken);
    return;
  }
  if (const ChannelError error = serialPort_->Write(bytes, count, nullptr, SerialWriteLimitMs(count));
      error.failed())
    BreakSerial(error, kKeypadStoppedTaking);
}

void DeviceLink::BreakSerial(const ChannelError& error, const char* timeoutText) {
  if (fault_ != LinkFault::Broken && !serialPortName_.empty())
    faultDetail_ = DescribeSerialFailure(*serialPort_, serialPortName_, error, timeoutText);
  NoteFault(LinkFault::Broken);
}

void DeviceLink::ConfirmDelivery() {
  if (kind_ != Kind::Serial || serialPort_ == nullptr || fault_ == LinkFault::Broken) return;
  // tcdrain would wait without limit on a line that takes nothing more, and
  // returns at once on a pseudo-terminal: the output queue is watched
  // instead, and the line then for the end command's time on it and more.
  ChannelError error = serialPort_->WaitUntilSent(SerialWriteLimitMs(kEndCommand.size()));
  if (error.ok()) error = serialPort_->CheckLine(LineTimeMs(kEndCommand.size()) + Ms(kDeliverySettle));
  if (error.failed()) BreakSerial(error, kKeypadStoppedTaking);
}

// The low seven bits travel first (rate = bits 0..4, delay = bits 5..6), the top bit second.
void DeviceLink::SendPcAtByte(std::uint8_t value) {
  if (SendPcAtSetting(value & 0x1F, (value >> 5) & 0x03))
    SendPcAtSetting(static_cast<std::uint8_t>(value >> 7), 0);
}

bool DeviceLink::SendPcAtSetting(std::uint8_t rate, std::uint8_t delay) {
  if (fault_ == LinkFault::Broken) return false;
  if (keyboardLine_ == nullptr) {
    NoteFault(LinkFault::Broken);
    return false;
  }
  const ChannelError error = keyboardLine_->SetTypematic(rate, delay);
  if (error.ok()) return true;
  faultDetail_ = DescribeKeyboardLineFailure(*keyboardLine_, error);
  NoteFault(LinkFault::Broken);
  return false;
}

// A setting the line refused ends the command: each further one would wait
// for its confirmation in vain.
void DeviceLink::SendPcAtCommand(const std::uint8_t* block) {
  BusyWait(kPcAtCommandPause);
  for (int i = 0; i < 5 && fault_ != LinkFault::Broken; ++i) SendPcAtByte(block[i]);
  const std::uint8_t last = block[5];
  if (!SendPcAtSetting(last & 0x1F, (last >> 5) & 0x03)) return;
  // The keypad knows the command only with its last setting, so every key
  // typed until then answers nothing: it is dropped here, as the keys typed
  // during the data are before the end command. Were it taken, it would
  // pass for this read's answer, and every later answer would be one off.
  if (StrayAnswerInput()) return;
  SendPcAtSetting(static_cast<std::uint8_t>(last >> 7), 0);
}

int DeviceLink::WaitNibbleKey() {
  const int value = NextNibbleKey();
  if (value >= 0) return value;
  NoteNoAnswer();
  return 0;
}

int DeviceLink::NextNibbleKey() {
  // The deadline is fixed: keys that are no nibble key are dropped without
  // extending it.
  const Clock::TimePoint deadline = clock_.Now() + kAnswerTimeLimit;
  while (keySource_ != nullptr && !Stopping()) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock_.Now());
    if (remaining.count() <= 0) break;
    const int key = keySource_->WaitKeyPress(remaining);
    if (key < 0) break;
    if (const int value = NibbleValue(key); value >= 0) return value;
  }
  return -1;
}

int DeviceLink::NibbleValue(int key) const {
  for (int i = 0; i < 16; ++i) {
    if (nibbleKeys_[i] != 0 && key == static_cast<unsigned char>(nibbleKeys_[i])) return i;
  }
  return -1;
}

void DeviceLink::BusyWait(std::chrono::milliseconds duration) { clock_.SleepFor(duration); }

}  // namespace lumivane
