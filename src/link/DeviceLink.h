#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace lumivane {

class Clock;
class KeySource;
class HidDevice;
class KeyboardLine;
class SerialChannel;
class ChannelError;

// What went wrong on the link since the fault was last cleared.
enum class LinkFault : std::uint8_t {
  None,
  NoAnswer,  // a read got no answer in time (RS232, PC/AT)
  Broken,    // a write or feature-report call failed: the keypad or port is gone
};

// Reads and writes the keypad's memory with 6-byte command blocks over one
// of three links: USB feature reports, RS232 bytes, or the PC/AT keyboard
// line (bytes as typematic settings, answers typed back as nibble keys).
class DeviceLink {
 public:
  static constexpr std::chrono::milliseconds kAnswerTimeLimit{2000};
  static constexpr std::chrono::milliseconds kSerialBytePause{10};
  // RS232: before a read command the input must have been quiet this long,
  // so that a byte still on its way is not taken for the answer.
  static constexpr std::chrono::milliseconds kQuietBeforeRead{5};
  // RS232, once a read went unanswered: every later answer must be
  // followed by this much silence, else the answers are out of step.
  // (Once the keypad has answered a read, anything it sends that no read
  // asked for means the same: see StrayAnswerInput.)
  static constexpr std::chrono::milliseconds kAnswerAloneTime{50};
  // RS232: how long the line must stay up after the end command has left
  // the port, beyond its own time on the line, before success is believed.
  static constexpr std::chrono::milliseconds kDeliverySettle{30};
  static constexpr std::chrono::milliseconds kPcAtCommandPause{100};
  // Bytes 0..8 of the report buffer hold the incoming report, 9..17 the outgoing one.
  static constexpr std::size_t kOutgoing = 9;
  static constexpr std::size_t kReportLength = 9;

  explicit DeviceLink(Clock& clock);

  // Selects the link for the next operations. The objects stay owned by the caller.
  // deviceName: the HID node as the status log names it.
  void UseUsb(HidDevice* device, std::string deviceName = {});
  // portName: the port as the status log names it.
  void UseSerial(SerialChannel* port, std::string portName = {});
  void UsePcAt(KeyboardLine* line, KeySource* keySource, const std::array<char, 16>& nibbleKeys);

  // Start of a download: nothing waits in the outgoing report, no fault.
  void Reset();
  // Asked while a PC/AT read waits for its keys: true ends the wait at once
  // (the download is being stopped), without the second key wait.
  void SetStopCheck(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }

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
  void ConfirmDelivery();

  // Time limit of a serial write: 2 s plus the bytes' time at 9600 baud.
  static std::uint32_t SerialWriteLimitMs(std::uint32_t count);

  // USB: the outgoing half (report ID 0 and data bytes 1..8) goes out, or
  // an incoming report is fetched into the incoming half.
  void SendFeatureReport();
  void GetFeatureReport();

  // PC/AT: the value 0..15 of the next nibble key typed; 0 with NoAnswer
  // when none comes within the time limit.
  int WaitNibbleKey();
  void BusyWait(std::chrono::milliseconds duration);

  std::array<std::uint8_t, 18>& reportBuffer() { return reportBuffer_; }
  int pendingCount() const { return pendingCount_; }

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

 private:
  enum class Kind { None, Usb, Serial, PcAt };

  void BeginCommand(const std::array<std::uint8_t, 6>& block);
  void SendCommandBlock();  // after BeginCommand, for write and end commands
  void SerialWrite(const std::uint8_t* bytes, std::uint32_t count);
  std::uint8_t SerialRead();  // after the read command is built
  // Drops stale input (see SerialRead); false when the link broke.
  bool DropStaleInput(std::uint32_t firstQuietMs, bool* dropped);
  void BreakSerial(const ChannelError& error, const char* timeoutText);
  std::uint8_t AnswersOutOfStep();
  void SendPcAtByte(std::uint8_t value);
  // PC/AT: one typematic setting; false (and the link broken) when refused.
  bool SendPcAtSetting(std::uint8_t rate, std::uint8_t delay);
  void SendPcAtCommand(const std::uint8_t* block);
  // Input that arrived although no read asked for it, after the keypad had
  // answered a read: RS232 bytes, or PC/AT nibble keys (other keys are the
  // user's). Drops it; true when there was some.
  bool StrayAnswerInput();
  void NoteReportMoved(int moved);  // judges a feature-report call's byte count
  void NoteFault(LinkFault fault);
  // The read of readAddress_ got no answer in time.
  void NoteNoAnswer();
  // The port, HID node or keyboard node in use, as status lines name it.
  std::string ChannelName() const;
  bool Stopping() const { return stopRequested_ && stopRequested_(); }
  // The value of the next nibble key, -1 when none came in time.
  int NextNibbleKey();
  // The value 0..15 a key stands for, -1 when it is no nibble key.
  int NibbleValue(int key) const;

  Clock& clock_;
  Kind kind_ = Kind::None;
  HidDevice* hidDevice_ = nullptr;
  std::string hidDeviceName_;
  SerialChannel* serialPort_ = nullptr;
  std::string serialPortName_;
  // RS232: the last read got no answer, which may still be on its way.
  bool answerOverdue_ = false;
  // A read went unanswered since Reset(), so a late answer may yet be taken
  // for another read's.
  bool answersSuspect_ = false;
  // Reads the keypad has answered since Reset().
  int answeredReads_ = 0;
  // Between BeginReadRun and EndReadRun, and the longest time a read of
  // the run waited for its answer.
  bool readRun_ = false;
  std::chrono::milliseconds longestAnswer_{0};
  KeyboardLine* keyboardLine_ = nullptr;
  KeySource* keySource_ = nullptr;
  std::array<char, 16> nibbleKeys_{};
  std::array<std::uint8_t, 18> reportBuffer_{};
  int pendingCount_ = 1;
  // The address of the read in progress, for the time-out's detail.
  std::uint16_t readAddress_ = 0;
  LinkFault fault_ = LinkFault::None;
  std::function<bool()> stopRequested_;
  std::string faultDetail_;
};

}  // namespace lumivane
