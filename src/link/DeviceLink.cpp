#include "link/DeviceLink.h"

#include <cstdio>
#include <utility>

#include "link/Clock.h"
#include "link/KeypadConstants.h"

namespace lumivane {

namespace {

DeviceLink::CommandBlock ReadCommand(std::uint16_t address) {
  return {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF), 0, 0,
          0, keypad::kReadOpcode};
}

DeviceLink::CommandBlock WriteCommand(std::uint16_t address, std::uint16_t count) {
  return {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address & 0xFF),
          static_cast<std::uint8_t>(count >> 8),   static_cast<std::uint8_t>(count & 0xFF),
          0,                                        keypad::kWriteOpcode};
}

constexpr DeviceLink::CommandBlock kEndCommand{};

}  // namespace

std::uint8_t DeviceLink::ReadByte(std::uint16_t address) {
  if (fault_ == LinkFault::Broken) return 0;
  readAddress_ = address;
  return ReadAnswer(ReadCommand(address));
}

void DeviceLink::BeginWrite(std::uint16_t address, std::uint16_t count) {
  if (fault_ == LinkFault::Broken || !ReadyForCommand()) return;
  SendCommand(WriteCommand(address, count));
}

void DeviceLink::WriteByte(std::uint8_t value) {
  if (fault_ == LinkFault::Broken) return;
  SendData(value);
}

void DeviceLink::EndWrite() {
  // An answer that arrived while the data went out belongs to a read whose
  // answer was taken from another: the placement rests on wrong values, and
  // the end command must not make the image count.
  if (fault_ == LinkFault::Broken || !ReadyForCommand()) return;
  SendCommand(kEndCommand);
}

void DeviceLink::BeginReadRun() {
  readRun_ = true;
  longestAnswer_ = std::chrono::milliseconds(0);
}

void DeviceLink::EndReadRun() {
  const bool wasRun = readRun_;
  readRun_ = false;
  if (!wasRun || fault_ == LinkFault::Broken) return;
  CheckReadRunEnd();
}

void DeviceLink::NoteFault(LinkFault fault) {
  // A broken link stays broken; a missing answer does not hide it.
  if (fault_ != LinkFault::Broken) fault_ = fault;
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

std::uint8_t DeviceLink::AnswersOutOfStep() {
  const std::string name = ChannelName();
  Break(name.empty() ? std::string() : name + ": the keypad's answers came out of step");
  return 0;
}

void DeviceLink::Break(std::string detail) {
  if (fault_ != LinkFault::Broken && !detail.empty()) faultDetail_ = std::move(detail);
  NoteFault(LinkFault::Broken);
}

void DeviceLink::PauseFor(std::chrono::milliseconds duration) { clock_.SleepFor(duration); }

}  // namespace lumivane
