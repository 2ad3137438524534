#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace lumivane {

class Clock;

// What went wrong on the link since the fault was last cleared.
enum class LinkFault : std::uint8_t {
  None,
  NoAnswer,  // a read got no answer in time (RS232, PC/AT)
  Broken,    // a write or feature-report call failed: the keypad or port is gone
};

// What preparing a link found: the link is ready and the identity request
// went out, or it was refused (a status line, when one is due, and the line
// after it naming the port, device or node and why), or the serial line was
// lost (the download ends with a communication time-out and the detail).
struct LinkOpening {
  enum class End { Ready, Refused, LineLost };
  End end = End::Ready;
  std::string line;
  std::string detail;
};

// What one look for the keypad's identity answer found.
// LineLost: the serial line failed or was hung up.
enum class IdentityAnswer { NotYet, Right, Wrong, DeviceGone, LineLost };
struct IdentityPoll {
  IdentityAnswer answer = IdentityAnswer::NotYet;
  std::string line;    // DeviceGone: the status line ("Usb Quintrel not detected")
  std::string detail;  // the bytes received (Wrong), or why the device or line is gone
};

// Writes the status lines a preparation tells on its way ("Usb Quintrel detected").
using LinkLineSink = std::function<void(const std::string& line)>;

// One link to the keypad: reads and writes its memory with 6-byte command
// blocks. Each link (UsbLink, SerialLink, PcAtLink) implements the keypad
// operations with its own state: prepare, identity wait, read, write,
// command, end and release. This part is what they share: the fault, the
// answer bookkeeping of a read run and the stop check.
class DeviceLink {
 public:
  static constexpr std::chrono::milliseconds kAnswerTimeLimit{2000};
  using CommandBlock = std::array<std::uint8_t, 6>;

  explicit DeviceLink(Clock& clock) : clock_(clock) {}
  virtual ~DeviceLink() = default;
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Opens the channel and asks the keypad for its identity.
  virtual LinkOpening Prepare(const LinkLineSink& addLine) = 0;
  // True when the identity answer is looked for on the ready timer (USB,
  // RS232); false when the keypad confirms by typing "&Yes" (PC/AT).
  virtual bool PollsIdentity() const { return true; }
  // One look for the identity answer; returns at once.
  virtual IdentityPoll PollIdentity() { return {}; }
  // Closes the channel. The link is not used afterwards.
  virtual void Release() = 0;

  std::uint8_t ReadByte(std::uint16_t address);
  void BeginWrite(std::uint16_t address, std::uint16_t count);
  void WriteByte(std::uint8_t value);
  void EndWrite();
  // A run of reads whose answers decide nothing until the run has ended
  // (a verify pass, a read-back): on RS232, once the keypad has answered
  // a read, the input is cleared before each read command without waiting
  // for the line to fall quiet. A byte from nowhere that comes later is
  // then taken for the next answer; the real answer follows it, so every
  // later answer lags by one, and the byte left over at the end shows it.
  void BeginReadRun();
  // Ends the run: on RS232 the line must then stay quiet for twice the
  // longest answer time of the run, and at least kAnswerAloneTime, so that
  // a lagging answer has come; a byte that comes meanwhile (on PC/AT, a
  // nibble key typed since the last answer) means the answers were out of
  // step, and the link is broken. Only then may the run's answers be judged.
  void EndReadRun();
  // After the end command: on RS232 waits (bounded) until the output has
  // left the port and the end command's time on the line has passed, then
  // checks that the line is still up; Broken when not. USB and PC/AT need
  // nothing more: each of their calls was checked.
  virtual void ConfirmDelivery() {}

  // Asked while a PC/AT read waits for its keys: true ends the wait at once
  // (the download is being stopped), without the second key wait.
  void SetStopCheck(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }

  LinkFault fault() const { return fault_; }
  // A status line naming the port, HID node or keyboard node and what went
  // wrong: the read that got no answer ("no answer to a read of 0xFF63
  // within 2 s"), or why the link broke. Empty when there is no fault, or
  // the link has no name for its channel.
  const std::string& faultDetail() const { return faultDetail_; }
  void ClearFault() {
    fault_ = LinkFault::None;
    faultDetail_.clear();
  }

 protected:
  // The link's own half of each operation; called only while the link is
  // not broken.
  virtual std::uint8_t ReadAnswer(const CommandBlock& readCommand) = 0;
  virtual void SendCommand(const CommandBlock& block) = 0;
  virtual void SendData(std::uint8_t value) = 0;
  // Before a write or end command: false when the command must not go out.
  virtual bool ReadyForCommand() { return true; }
  // The end of a read run, past the common checks (see EndReadRun).
  virtual void CheckReadRunEnd() {}
  // The port, HID node or keyboard node in use, as status lines name it.
  virtual std::string ChannelName() const = 0;

  void NoteFault(LinkFault fault);
  // The read of readAddress_ got no answer in time.
  void NoteNoAnswer();
  // The answers can no longer be matched to their reads: the link is broken.
  std::uint8_t AnswersOutOfStep();
  // Sets the detail of a broken link unless an earlier fault already told it.
  void Break(std::string detail);
  bool Stopping() const { return stopRequested_ && stopRequested_(); }
  // A pause the link's timing needs, on the link's clock.
  void PauseFor(std::chrono::milliseconds duration);
  Clock& clock() { return clock_; }

  // A read went unanswered since the link was made, so a late answer may
  // yet be taken for another read's.
  bool answersSuspect_ = false;
  // Reads the keypad has answered.
  int answeredReads_ = 0;
  // Between BeginReadRun and EndReadRun, and the longest time a read of
  // the run waited for its answer.
  bool readRun_ = false;
  std::chrono::milliseconds longestAnswer_{0};

 private:
  Clock& clock_;
  // The address of the read in progress, for the time-out's detail.
  std::uint16_t readAddress_ = 0;
  LinkFault fault_ = LinkFault::None;
  std::function<bool()> stopRequested_;
  std::string faultDetail_;
};

}  // namespace lumivane
