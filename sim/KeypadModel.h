#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/Clock.h"

namespace lumivane::sim {

// Settings of a simulated keypad: its control area, its identity and the
// faults it plays. Defaults describe a healthy, empty 64 KiB keypad.
struct KeypadOptions {
  // Control area (16-bit pointers, stored high byte first).
  std::uint16_t layer1Start = 0x0001;  // at 0xFF63
  std::uint16_t layer1End = 0x0000;    // at 0xFF65
  std::uint16_t layer2Start = 0x8000;  // at 0xFF67
  std::uint16_t layer2End = 0xFEFF;    // at 0xFF69
  std::array<std::uint8_t, 2> version = {0x05, 0x15};  // at 0xFF6B, 0xFF6C
  // Probe windows 0x5FF1..0x5FF5 and 0x7FF1..0x7FF5. Equal windows mean a
  // keypad whose upper memory mirrors the lower (layer-1 start 0x6001).
  std::array<std::uint8_t, 5> probeLow = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  std::array<std::uint8_t, 5> probeHigh = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
  // Every other memory byte.
  std::uint8_t fill = 0xFF;
  // The whole memory at start, 65536 bytes (control area included): a
  // keypad that keeps what an earlier session wrote. Empty: `fill` with
  // the control area, version and probe windows above (as with any
  // other size).
  std::vector<std::uint8_t> memory;
  // Faulty cells: writes to these addresses are taken but not stored, so
  // the byte keeps what it held.
  std::vector<std::uint16_t> stuckBytes;

  // Time from the identity request to the user's shift+load. nullopt: only
  // PressShiftLoad() makes the keypad ready.
  std::optional<std::chrono::milliseconds> shiftLoadDelay = std::chrono::milliseconds(0);

  // Identity answers: the report form (USB) and the byte form (RS232).
  std::array<std::uint8_t, 8> reportIdentity = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7};
  std::uint8_t byteIdentity = 0xC0;
  // Data byte 1 of a fetched report while the keypad is not ready (0xA0 or 0x00).
  std::uint8_t notReadyByte = 0xA0;

  // Faults.
  bool silent = false;  // never answers the identity request
  // Applied by the link adapter before each read answer (slow keypad).
  std::chrono::milliseconds readAnswerDelay{0};
  // The answer to read command N (1 = the first) comes lateAnswerDelay
  // late instead: past the host's time limit for it.
  std::optional<std::size_t> lateAnswerRead;
  std::chrono::milliseconds lateAnswerDelay{2500};
  // Bytes sent right after an answer (RS232): after the identity answer
  // (0) or after the answer to read command N. Empty: the answer again.
  std::optional<std::size_t> extraBytesAfter;
  std::vector<std::uint8_t> extraBytes;
  // After this many received bytes the keypad hangs up: it takes nothing
  // more and answers nothing (the pseudo-terminal keypad closes its line).
  std::optional<std::size_t> hangUpAfterBytes;
  // Hangs up after taking this many bytes (0..5) of the command block that
  // follows the image (the first write of more than two data bytes): 0
  // drops the line right after the image's last byte, 1..5 inside the
  // end command.
  std::optional<std::size_t> hangUpInEndCommand;
  // After this many received bytes the keypad takes no more bytes while
  // the line stays up (the pseudo-terminal keypad stops the line's output,
  // so the host's writes stall); it still sends what it owes.
  std::optional<std::size_t> stopReadingAfterBytes;
  // Commands after the first N get no answer to a read.
  std::optional<std::size_t> answerReadsForCommands;

  // A keypad of another kind: its answers differ from the right identity
  // in the last report byte and in the answer byte.
  void SetWrongIdentity() {
    reportIdentity = {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC8};
    byteIdentity = 0xC8;
  }
};

// One command block the keypad received, with the data that followed it.
struct KeypadCommand {
  enum class Kind { Read, Write, End, Unknown };
  Kind kind = Kind::Unknown;
  std::array<std::uint8_t, 6> block{};
  std::uint16_t address = 0;      // Read, Write
  std::uint16_t count = 0;        // Write: announced data bytes
  std::vector<std::uint8_t> data;  // Write: data bytes received so far
  bool answered = false;          // Read: an answer was given
};

// The keypad's side of the memory access protocol, independent of any link
// and of threads (a link adapter that runs on its own thread locks around
// it). Feed it what the host sends; it answers as the keypad would.
//
// Phases: idle until an identity request arrives; then it waits for the
// user's shift+load; when ready it gives the identity answer and takes
// command blocks (load mode); the end command finishes the load and
// returns it to idle. Each identity answer uses up one shift+load, so a
// further download waits for the next.
class KeypadModel {
 public:
  enum class Phase { Idle, IdentityPending, Loading };

  // The keypad's own addresses and codes. They repeat the program's
  // link/KeypadConstants.h on purpose: an oracle that shared the program's
  // constants would agree with any mistake in them.
  static constexpr std::uint16_t kLayer1StartAddress = 0xFF63;
  static constexpr std::uint16_t kLayer1EndAddress = 0xFF65;
  static constexpr std::uint16_t kLayer2StartAddress = 0xFF67;
  static constexpr std::uint16_t kLayer2EndAddress = 0xFF69;
  static constexpr std::uint16_t kVersionAddress = 0xFF6B;
  static constexpr std::uint16_t kProbeLowAddress = 0x5FF1;
  static constexpr std::uint16_t kProbeHighAddress = 0x7FF1;
  static constexpr std::uint8_t kIdentityRequestByte = 0xB0;
  static constexpr std::uint8_t kReadOpcode = 0x0E;
  static constexpr std::uint8_t kWriteOpcode = 0xFD;

  // clock: time source for the shift+load delay; the monotonic clock when
  // null. A copy of the model shares it.
  explicit KeypadModel(KeypadOptions options = {}, Clock* clock = nullptr);

  // ---- Byte stream (RS232 and the PC/AT line) ----
  // Takes one received byte; returns the answer bytes due at once.
  std::vector<std::uint8_t> ReceiveByte(std::uint8_t byte);
  // Answers that became due with time alone (the identity answer after the
  // shift+load delay). Call it now and then while nothing arrives.
  std::vector<std::uint8_t> Poll();
  // Nothing has arrived for a while (kLineIdleTime) although a command block
  // is incomplete. A host sends a block in one piece, so the partial block is
  // dropped; a lone 0xB0 is a host that starts a new download while the
  // keypad still thought itself in load mode: it counts as the request.
  void LineIdle();
  bool AwaitingRestOfBlock() const { return phase_ == Phase::Loading && blockFill_ > 0; }
  static constexpr std::chrono::milliseconds kLineIdleTime{500};

  // ---- Feature reports (USB), 9 bytes, byte 0 the report ID ----
  // A report while a write still expects data carries up to eight data
  // bytes (data bytes 1..8, stale bytes after the last needed one); a
  // report of 0xB0..0xB7 otherwise is the identity request; any other
  // report carries a command block in data bytes 1..6. False when the
  // keypad took the report only in part or not at all (it hung up or
  // stopped reading).
  bool OnSetFeature(const std::uint8_t report[9]);
  // The report the host fetches: the identity answer or the not-ready byte
  // while the identity is pending, the byte of the last read command in
  // data byte 1 while loading. An unanswered read leaves the report as the
  // previous fetch saw it.
  void OnGetFeature(std::uint8_t report[9]);

  // ---- The user at the keypad ----
  void PressShiftLoad();
  // Load mode without the identity exchange (the PC/AT line, where the
  // keypad announces itself by typing into the window).
  void BeginLoad();

  // ---- State and record ----
  Phase phase() const { return phase_; }
  bool IsReady();  // shift+load has happened (by press or by delay)
  bool IsHungUp() const { return hungUp_; }
  bool StoppedReading() const { return stoppedReading_; }
  // The link adapter's pause before sending the answer to the latest read.
  std::chrono::milliseconds AnswerDelay() const;
  bool IsFinished() const { return endCommands_ > 0; }  // an end command arrived
  std::size_t endCommands() const { return endCommands_; }
  std::size_t identityRequests() const { return identityRequests_; }
  std::size_t identityAnswers() const { return identityAnswers_; }
  std::size_t bytesReceived() const { return bytesReceived_; }
  // Every command block received, in order, writes with their data.
  const std::vector<KeypadCommand>& commands() const { return commands_; }
  // Data bytes a write announced but had not received when the next
  // command or the end came (0 in a sound download).
  std::size_t pendingWriteBytes() const { return writeRemaining_; }

  std::uint8_t Peek(std::uint16_t address) const { return memory_[address]; }
  void Poke(std::uint16_t address, std::uint8_t value) { memory_[address] = value; }
  std::uint16_t PeekPointer(std::uint16_t address) const;
  const std::array<std::uint8_t, 65536>& memory() const { return memory_; }
  const KeypadOptions& options() const { return options_; }

 private:
  Clock::TimePoint Now() const;
  // The memory from the options: fill, control area, version, probe windows.
  void InitialiseMemory();
  bool IsStuck(std::uint16_t address) const;
  bool TakeCountedByte();  // false once the keypad has hung up or stopped reading
  void AddExtraBytes(std::size_t afterAnswer, std::vector<std::uint8_t>* answers) const;
  void RequestIdentity();
  bool IdentityDue();
  void AnswerIdentity();
  void TakeCommandByte(std::uint8_t byte, std::vector<std::uint8_t>* answers);
  void TakeDataByte(std::uint8_t byte);
  // Decodes a full command block; returns the answer to a read, if any.
  std::optional<std::uint8_t> ExecuteCommand(const std::array<std::uint8_t, 6>& block);

  KeypadOptions options_;
  Clock* clock_;
  std::array<std::uint8_t, 65536> memory_{};
  Phase phase_ = Phase::Idle;
  bool shiftLoadPressed_ = false;
  std::optional<Clock::TimePoint> readyAt_;
  bool hungUp_ = false;
  bool stoppedReading_ = false;
  std::optional<std::size_t> hangUpAt_;  // bytesReceived_ at which the line drops
  std::size_t bytesReceived_ = 0;
  std::size_t readCommands_ = 0;
  std::size_t identityRequests_ = 0;
  std::size_t identityAnswers_ = 0;
  std::size_t endCommands_ = 0;
  std::vector<KeypadCommand> commands_;
  std::array<std::uint8_t, 6> block_{};
  std::size_t blockFill_ = 0;
  std::size_t writeRemaining_ = 0;
  std::uint16_t writeAddress_ = 0;
  std::array<std::uint8_t, 9> fetchReport_{};
};

}  // namespace lumivane::sim
