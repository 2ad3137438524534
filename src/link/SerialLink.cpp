#include "link/SerialLink.h"

#include <algorithm>
#include <utility>

#include "link/Clock.h"
#include "link/KeypadConstants.h"
#include "link/LinkDetails.h"
#include "link/SerialChannel.h"
#include "link/SerialLineFailure.h"

namespace lumivane {

namespace {

constexpr const char* kOpenPortLine = "Unable to open COM-port";
constexpr std::size_t kEndCommandLength = 6;

// Milliseconds that count bytes take on the line at 9600 baud, ten bits each.
std::uint32_t LineTimeMs(std::uint32_t count) { return (count * 10u * 1000u + 9599u) / 9600u; }

std::uint32_t Ms(std::chrono::milliseconds duration) { return static_cast<std::uint32_t>(duration.count()); }

LinkOpening Refused(std::string line, std::string detail) {
  return {LinkOpening::End::Refused, std::move(line), std::move(detail)};
}

}  // namespace

SerialLink::SerialLink(Clock& clock, SerialChannel* port, SerialPortChoice choice)
    : DeviceLink(clock), port_(port), choice_(std::move(choice)) {}

std::uint32_t SerialLink::WriteLimitMs(std::uint32_t count) { return Ms(kAnswerTimeLimit) + LineTimeMs(count); }

LinkOpening SerialLink::Prepare(const LinkLineSink&) {
  if (port_ == nullptr) return Refused(kOpenPortLine, "The RS232 link has no serial port here");
  const std::string& label = choice_.label;
  if (const ChannelError error = port_->Open(choice_.device, 2048, 2048); error.failed()) {
    std::string hint;
    if (error.kind() == ChannelErrorKind::AccessDenied)
      hint = choice_.permissionHint ? choice_.permissionHint(choice_.device)
                                    : PermissionHint(GroupAccessOf(choice_.device));
    return Refused(kOpenPortLine, SerialOpenDetail(label, error, hint));
  }
  // Each step after the open says which step failed, and the detail why.
  const struct {
    const char* line;
    ChannelError (*step)(SerialChannel&);
  } steps[] = {
      {"Unable to set COM-port setting", [](SerialChannel& p) { return p.Setup(9600, 8, 0, 0); }},
      {"Unable to set COM-port handshaking",
       [](SerialChannel& p) { return p.SetupHandshaking(SerialChannel::HandshakeOff); }},
      {"Unable to set COM-port event mask", [](SerialChannel& p) { return p.SetMask(SerialChannel::EV_RXCHAR); }},
      {"Unable to set COM-port read timeout.",
       [](SerialChannel& p) { return p.SetupReadTimeouts(SerialChannel::ReadBlocking); }},
  };
  for (const auto& step : steps) {
    if (const ChannelError error = step.step(*port_); error.failed())
      return Refused(step.line, SerialSetupDetail(label, error));
  }
  port_->Purge();
  const std::uint8_t identityRequest = keypad::kIdentityRequest;
  if (const ChannelError error = port_->Write(&identityRequest, 1, nullptr, WriteLimitMs(1)); error.failed())
    return {LinkOpening::End::LineLost, {}, LostLineDetail(error)};
  return {};
}

IdentityPoll SerialLink::PollIdentity() {
  std::uint8_t answer = 0;
  std::uint32_t received = 0;
  // A non-blocking read returns at once with what has arrived; the zero
  // limit keeps it that short whatever mode the port is in.
  ChannelError error = port_->SetupReadTimeouts(SerialChannel::ReadNonBlocking);
  if (error.ok()) error = port_->Read(&answer, 1, &received, 0);
  ChannelError restored = port_->SetupReadTimeouts(SerialChannel::ReadBlocking);
  if (error.ok()) error = std::move(restored);
  // Reading nothing does not tell a quiet line from one that is gone.
  if (error.ok() && received == 0) error = port_->CheckLine(0);
  if (error.failed()) return {IdentityAnswer::LineLost, {}, LostLineDetail(error)};
  if (received == 0) return {};
  if (answer == keypad::kIdentityAnswer) return {IdentityAnswer::Right, {}, {}};
  return {IdentityAnswer::Wrong, {}, WrongIdentityDetail(choice_.label, &answer, &keypad::kIdentityAnswer, 1)};
}

std::string SerialLink::LostLineDetail(const ChannelError& error) const {
  return DescribeSerialFailure(*port_, choice_.label, error, kKeypadStoppedTaking);
}

void SerialLink::Release() {
  if (port_ != nullptr) port_->Close();
}

std::uint8_t SerialLink::ReadAnswer(const CommandBlock& readCommand) {
  if (port_ == nullptr) {
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
  const std::uint32_t quiet = overdue ? Ms(kAnswerTimeLimit) : streaming ? 0 : Ms(kQuietBeforeRead);
  const StaleInput stale = DropStaleInput(quiet);
  if (stale == StaleInput::LineBroke) return 0;
  // Later than that, a byte from nowhere means an answer of one read was
  // taken for another's (or will be: a duplicated answer).
  if (stale == StaleInput::Dropped && (answersSuspect_ || answeredReads_ > 0) && !overdue)
    return AnswersOutOfStep();
  const Clock::TimePoint sent = clock().Now();
  Write(readCommand.data(), 6);
  if (fault() == LinkFault::Broken) return 0;
  std::uint8_t answer = 0;
  std::uint32_t received = 0;
  const ChannelError error = port_->Read(&answer, 1, &received, Ms(kAnswerTimeLimit));
  if (readRun_) {
    const auto waited = std::chrono::ceil<std::chrono::milliseconds>(clock().Now() - sent);
    longestAnswer_ = std::max(longestAnswer_, waited);
  }
  if (received == 1) {
    // A late answer that came even later than it was waited for arrives
    // as this read's answer, and this read's own answer right after it.
    if (answersSuspect_) {
      const StaleInput late = DropStaleInput(Ms(kAnswerAloneTime));
      if (late == StaleInput::LineBroke) return 0;
      if (late == StaleInput::Dropped) return AnswersOutOfStep();
    }
    ++answeredReads_;
    return answer;
  }
  if (error.ok() || error.kind() == ChannelErrorKind::Timeout) {
    answerOverdue_ = answersSuspect_ = true;
    NoteNoAnswer();
  } else {
    BreakLine(error, kKeypadStoppedTaking);
  }
  return 0;
}

void SerialLink::SendData(std::uint8_t value) {
  Write(&value, 1);
  PauseFor(kSerialBytePause);
}

void SerialLink::CheckReadRunEnd() {
  if (port_ == nullptr) return;
  const std::chrono::milliseconds quiet =
      std::min(kAnswerTimeLimit, std::max(kAnswerAloneTime, 2 * longestAnswer_));
  if (DropStaleInput(Ms(quiet)) == StaleInput::Dropped && (answeredReads_ > 0 || answersSuspect_))
    AnswersOutOfStep();
}

SerialLink::StaleInput SerialLink::DropStaleInput(std::uint32_t firstQuietMs) {
  bool dropped = false;
  const ChannelError error =
      port_->DiscardInput(firstQuietMs, Ms(kQuietBeforeRead), firstQuietMs + Ms(kAnswerTimeLimit), &dropped);
  if (error.ok()) return dropped ? StaleInput::Dropped : StaleInput::None;
  BreakLine(error, "the keypad does not stop sending");
  return StaleInput::LineBroke;
}

bool SerialLink::StrayAnswerInput() {
  if (port_ == nullptr) return true;
  const StaleInput stray = DropStaleInput(0);
  if (stray == StaleInput::LineBroke) return true;
  if (stray == StaleInput::None || (answeredReads_ == 0 && !answersSuspect_)) return false;
  AnswersOutOfStep();
  return true;
}

void SerialLink::Write(const std::uint8_t* bytes, std::uint32_t count) {
  if (port_ == nullptr) {
    NoteFault(LinkFault::Broken);
    return;
  }
  if (const ChannelError error = port_->Write(bytes, count, nullptr, WriteLimitMs(count)); error.failed())
    BreakLine(error, kKeypadStoppedTaking);
}

void SerialLink::BreakLine(const ChannelError& error, const char* timeoutText) {
  if (fault() == LinkFault::Broken || choice_.label.empty()) {
    NoteFault(LinkFault::Broken);
    return;
  }
  Break(DescribeSerialFailure(*port_, choice_.label, error, timeoutText));
}

void SerialLink::ConfirmDelivery() {
  if (port_ == nullptr || fault() == LinkFault::Broken) return;
  // tcdrain would wait without limit on a line that takes nothing more, and
  // returns at once on a pseudo-terminal: the output queue is watched
  // instead, and the line then for the end command's time on it and more.
  ChannelError error = port_->WaitUntilSent(WriteLimitMs(kEndCommandLength));
  if (error.ok()) error = port_->CheckLine(LineTimeMs(kEndCommandLength) + Ms(kDeliverySettle));
  if (error.failed()) BreakLine(error, kKeypadStoppedTaking);
}

}  // namespace lumivane
