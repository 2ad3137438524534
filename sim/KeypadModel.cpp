#include "sim/KeypadModel.h"

#include <algorithm>
#include <cstring>

namespace lumivane::sim {

namespace {

void PutPointer(std::array<std::uint8_t, 65536>& memory, std::uint16_t address,
                std::uint16_t value) {
  memory[address] = static_cast<std::uint8_t>(value >> 8);
  memory[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(value & 0xFF);
}

bool IsIdentityRequestReport(const std::uint8_t report[9]) {
  for (int i = 0; i < 8; ++i) {
    if (report[1 + i] != KeypadModel::kIdentityRequestByte + i) return false;
  }
  return true;
}

}  // namespace

KeypadModel::KeypadModel(KeypadOptions options, Clock* clock)
    : options_(std::move(options)), clock_(clock) {
  if (options_.memory.size() == memory_.size()) {
    std::copy(options_.memory.begin(), options_.memory.end(), memory_.begin());
    // The copy in the options has done its work: a snapshot need not carry it.
    options_.memory.clear();
  } else {
    InitialiseMemory();
  }
  hangUpAt_ = options_.hangUpAfterBytes;
  hungUp_ = hangUpAt_ && *hangUpAt_ == 0;
  stoppedReading_ = options_.stopReadingAfterBytes && *options_.stopReadingAfterBytes == 0;
}

void KeypadModel::InitialiseMemory() {
  memory_.fill(options_.fill);
  PutPointer(memory_, kLayer1StartAddress, options_.layer1Start);
  PutPointer(memory_, kLayer1EndAddress, options_.layer1End);
  PutPointer(memory_, kLayer2StartAddress, options_.layer2Start);
  PutPointer(memory_, kLayer2EndAddress, options_.layer2End);
  memory_[kVersionAddress] = options_.version[0];
  memory_[kVersionAddress + 1] = options_.version[1];
  for (std::size_t i = 0; i < 5; ++i) {
    memory_[kProbeLowAddress + i] = options_.probeLow[i];
    memory_[kProbeHighAddress + i] = options_.probeHigh[i];
  }
}

bool KeypadModel::IsStuck(std::uint16_t address) const {
  return std::find(options_.stuckBytes.begin(), options_.stuckBytes.end(), address) !=
         options_.stuckBytes.end();
}

Clock::TimePoint KeypadModel::Now() const { return clock_ ? clock_->Now() : SteadyClock().Now(); }

std::uint16_t KeypadModel::PeekPointer(std::uint16_t address) const {
  return static_cast<std::uint16_t>(memory_[address] << 8 |
                                    memory_[static_cast<std::uint16_t>(address + 1)]);
}

void KeypadModel::PressShiftLoad() { shiftLoadPressed_ = true; }

void KeypadModel::BeginLoad() {
  phase_ = Phase::Loading;
  blockFill_ = 0;
}

bool KeypadModel::IsReady() {
  return shiftLoadPressed_ || (readyAt_ && Now() >= *readyAt_);
}

bool KeypadModel::TakeCountedByte() {
  if (hungUp_ || stoppedReading_) return false;
  ++bytesReceived_;
  // The byte that reaches a limit is still taken; nothing after it is.
  if (hangUpAt_ && bytesReceived_ >= *hangUpAt_) hungUp_ = true;
  if (options_.stopReadingAfterBytes && bytesReceived_ >= *options_.stopReadingAfterBytes)
    stoppedReading_ = true;
  return true;
}

std::chrono::milliseconds KeypadModel::AnswerDelay() const {
  if (options_.lateAnswerRead && readCommands_ == *options_.lateAnswerRead)
    return options_.lateAnswerDelay;
  return options_.readAnswerDelay;
}

void KeypadModel::AddExtraBytes(std::size_t afterAnswer, std::vector<std::uint8_t>* answers) const {
  if (!options_.extraBytesAfter || *options_.extraBytesAfter != afterAnswer) return;
  const std::vector<std::uint8_t> extra = options_.extraBytes.empty() ? *answers : options_.extraBytes;
  answers->insert(answers->end(), extra.begin(), extra.end());
}

void KeypadModel::RequestIdentity() {
  ++identityRequests_;
  phase_ = Phase::IdentityPending;
  blockFill_ = 0;
  writeRemaining_ = 0;
  // The user's shift+load follows the first request; repeating the request
  // does not restart the delay.
  if (!readyAt_ && options_.shiftLoadDelay) readyAt_ = Now() + *options_.shiftLoadDelay;
}

bool KeypadModel::IdentityDue() {
  return phase_ == Phase::IdentityPending && !options_.silent && !hungUp_ && IsReady();
}

std::vector<std::uint8_t> KeypadModel::ReceiveByte(std::uint8_t byte) {
  std::vector<std::uint8_t> answers;
  if (!TakeCountedByte()) return answers;
  if (phase_ == Phase::Loading) {
    if (writeRemaining_ > 0) {
      TakeDataByte(byte);
    } else {
      TakeCommandByte(byte, &answers);
    }
    return answers;
  }
  // Out of load mode only the identity request means anything.
  if (byte == kIdentityRequestByte) RequestIdentity();
  return Poll();
}

void KeypadModel::LineIdle() {
  if (!AwaitingRestOfBlock()) return;
  const bool identityRequest = blockFill_ == 1 && block_[0] == kIdentityRequestByte;
  blockFill_ = 0;
  if (identityRequest) RequestIdentity();
}

void KeypadModel::AnswerIdentity() {
  ++identityAnswers_;
  phase_ = Phase::Loading;
  // This shift+load is used up: the next download needs another.
  shiftLoadPressed_ = false;
  readyAt_.reset();
}

std::vector<std::uint8_t> KeypadModel::Poll() {
  if (!IdentityDue()) return {};
  AnswerIdentity();
  std::vector<std::uint8_t> answers{options_.byteIdentity};
  AddExtraBytes(0, &answers);
  return answers;
}

void KeypadModel::TakeDataByte(std::uint8_t byte) {
  if (!IsStuck(writeAddress_)) memory_[writeAddress_] = byte;
  writeAddress_ = static_cast<std::uint16_t>(writeAddress_ + 1);
  --writeRemaining_;
  commands_.back().data.push_back(byte);
  // The image is the only write of more than the two bytes of a pointer.
  if (writeRemaining_ == 0 && options_.hangUpInEndCommand && commands_.back().count > 2) {
    const std::size_t at = bytesReceived_ + *options_.hangUpInEndCommand;
    if (!hangUpAt_ || at < *hangUpAt_) hangUpAt_ = at;
    if (bytesReceived_ >= *hangUpAt_) hungUp_ = true;
  }
}

void KeypadModel::TakeCommandByte(std::uint8_t byte, std::vector<std::uint8_t>* answers) {
  block_[blockFill_++] = byte;
  if (blockFill_ < block_.size()) return;
  blockFill_ = 0;
  if (std::optional<std::uint8_t> answer = ExecuteCommand(block_)) {
    answers->push_back(*answer);
    AddExtraBytes(readCommands_, answers);
  }
}

std::optional<std::uint8_t> KeypadModel::ExecuteCommand(const std::array<std::uint8_t, 6>& block) {
  KeypadCommand command;
  command.block = block;
  command.address = static_cast<std::uint16_t>(block[0] << 8 | block[1]);
  const std::uint16_t count = static_cast<std::uint16_t>(block[2] << 8 | block[3]);
  const bool allZero = std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; });

  if (allZero) {
    command.kind = KeypadCommand::Kind::End;
    commands_.push_back(std::move(command));
    ++endCommands_;
    // The load is complete: back to normal use.
    phase_ = Phase::Idle;
    return std::nullopt;
  }
  if (block[5] == kWriteOpcode && block[4] == 0) {
    command.kind = KeypadCommand::Kind::Write;
    command.count = count;
    writeAddress_ = command.address;
    writeRemaining_ = count;
    commands_.push_back(std::move(command));
    return std::nullopt;
  }
  if (block[5] == kReadOpcode && block[2] == 0 && block[3] == 0 && block[4] == 0) {
    command.kind = KeypadCommand::Kind::Read;
    ++readCommands_;
    const bool answer = !options_.answerReadsForCommands ||
                        commands_.size() < *options_.answerReadsForCommands;
    command.answered = answer;
    commands_.push_back(std::move(command));
    if (!answer) return std::nullopt;
    return memory_[commands_.back().address];
  }
  command.kind = KeypadCommand::Kind::Unknown;
  commands_.push_back(std::move(command));
  return std::nullopt;
}

bool KeypadModel::OnSetFeature(const std::uint8_t report[9]) {
  if (hungUp_ || stoppedReading_) return false;
  if (phase_ == Phase::Loading && writeRemaining_ > 0) {
    // A data report: as many bytes as the write still expects, at most
    // eight; what follows the last needed byte is stale and ignored.
    const std::size_t take = std::min<std::size_t>(writeRemaining_, 8);
    for (std::size_t i = 0; i < take; ++i) {
      if (!TakeCountedByte()) return false;
      TakeDataByte(report[1 + i]);
    }
    return true;
  }
  if (IsIdentityRequestReport(report)) {
    for (int i = 0; i < 8; ++i) {
      if (!TakeCountedByte()) return false;
    }
    RequestIdentity();
    return true;
  }
  if (phase_ != Phase::Loading) {
    // Not in load mode: the keypad ignores the report.
    for (int i = 0; i < 6; ++i) {
      if (!TakeCountedByte()) return false;
    }
    return true;
  }
  std::array<std::uint8_t, 6> block{};
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (!TakeCountedByte()) return false;
    block[i] = report[1 + i];
  }
  if (std::optional<std::uint8_t> answer = ExecuteCommand(block)) {
    fetchReport_.fill(0);
    fetchReport_[1] = *answer;
  }
  return true;
}

void KeypadModel::OnGetFeature(std::uint8_t report[9]) {
  if (!hungUp_) {
    if (IdentityDue()) {
      AnswerIdentity();
      fetchReport_[0] = 0;
      std::copy(options_.reportIdentity.begin(), options_.reportIdentity.end(),
                fetchReport_.begin() + 1);
    } else if (phase_ != Phase::Loading) {
      fetchReport_.fill(0);
      fetchReport_[1] = options_.notReadyByte;
    }
  }
  std::memcpy(report, fetchReport_.data(), fetchReport_.size());
}

}  // namespace lumivane::sim
