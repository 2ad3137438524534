#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "link/DeviceLink.h"

namespace lumivane {

class ChannelError;
class SerialChannel;

// Which serial port the RS232 link opens, and how its lines name it.
struct SerialPortChoice {
  std::string device;  // the device path opened
  std::string label;   // as status lines name it ("COM3 (/dev/ttyUSB0)")
  // The hint after "Permission denied" on the device; the system's group
  // database gives it when empty (LinkDetails.h).
  std::function<std::string(const std::string& device)> permissionHint;
};

// The RS232 link: command blocks and data bytes go out as bytes at 9600
// baud, each read answered by one byte. The line carries no framing, so the
// link keeps the answers in step with their reads itself.
class SerialLink : public DeviceLink {
 public:
  static constexpr std::chrono::milliseconds kSerialBytePause{10};
  // Before a read command the input must have been quiet this long, so
  // that a byte still on its way is not taken for the answer.
  static constexpr std::chrono::milliseconds kQuietBeforeRead{5};
  // Once a read went unanswered: every later answer must be followed by
  // this much silence, else the answers are out of step. (Once the keypad
  // has answered a read, anything it sends that no read asked for means
  // the same: see StrayAnswerInput.)
  static constexpr std::chrono::milliseconds kAnswerAloneTime{50};
  // How long the line must stay up after the end command has left the
  // port, beyond its own time on the line, before success is believed.
  static constexpr std::chrono::milliseconds kDeliverySettle{30};

  // port: may be null (the link is then refused). Without a choice the
  // port is taken as open, with no name for the lines.
  SerialLink(Clock& clock, SerialChannel* port, SerialPortChoice choice = {});

  // Time limit of a serial write: 2 s plus the bytes' time at 9600 baud.
  static std::uint32_t WriteLimitMs(std::uint32_t count);

  LinkOpening Prepare(const LinkLineSink& addLine) override;
  IdentityPoll PollIdentity() override;
  void Release() override;
  void ConfirmDelivery() override;

 protected:
  std::uint8_t ReadAnswer(const CommandBlock& readCommand) override;
  void SendCommand(const CommandBlock& block) override { Write(block.data(), 6); }
  void SendData(std::uint8_t value) override;
  bool ReadyForCommand() override { return !StrayAnswerInput(); }
  void CheckReadRunEnd() override;
  std::string ChannelName() const override { return choice_.label; }

 private:
  void Write(const std::uint8_t* bytes, std::uint32_t count);
  enum class StaleInput { None, Dropped, LineBroke };
  // Drops stale input (see ReadAnswer): whether there was some, or the link broke.
  StaleInput DropStaleInput(std::uint32_t firstQuietMs);
  // Input that arrived although no read asked for it, after the keypad had
  // answered a read. Drops it; true when there was some.
  bool StrayAnswerInput();
  void BreakLine(const ChannelError& error, const char* timeoutText);
  std::string LostLineDetail(const ChannelError& error) const;

  SerialChannel* port_;
  SerialPortChoice choice_;
  // The last read got no answer, which may still be on its way.
  bool answerOverdue_ = false;
};

}  // namespace lumivane
