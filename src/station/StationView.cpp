#include "station/StationView.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace lumivane {

namespace {

constexpr std::size_t kActivityWidth = 24;

const char* PhaseText(DownloadPhase phase) {
  switch (phase) {
    case DownloadPhase::Idle:
    case DownloadPhase::Translating:
    case DownloadPhase::Preparing: return "preparing";
    case DownloadPhase::Waiting: return "waiting for shift+load";
    case DownloadPhase::Transferring: return "transferring";
    case DownloadPhase::Verifying: return "verifying";
    case DownloadPhase::Ending: return "ending";
  }
  return "running";
}

// Cut to `width` characters (UTF-8 sequences count once), never inside one.
std::string FitWidth(const std::string& text, std::size_t width) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == width) return text.substr(0, i);
  }
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string Bytes(const PassProgress& progress) {
  if (progress.total == 0) return {};
  return std::to_string(progress.done) + "/" + std::to_string(progress.total) + " bytes";
}

std::string OutcomeText(const SlotStatus& slot) {
  std::string text = SlotVerdict(slot);
  if (slot.result == OutcomeResult::Passed && slot.progress.total > 0) text += " (" + Bytes(slot.progress) + ")";
  if (slot.result != OutcomeResult::Passed && !slot.detail.empty()) text += ": " + slot.detail;
  return text;
}

}  // namespace

std::string SlotActivity(const SlotStatus& slot) {
  switch (slot.state) {
    case SlotState::Armed: return "armed";
    case SlotState::Running: return slot.phase ? PhaseText(*slot.phase) : "done";  // the outcome is in
    case SlotState::AwaitingRemoval: return "remove the keypad";
    case SlotState::Empty: return "no keypad";
    case SlotState::Idle: return "stopped";
    case SlotState::OutOfService: return "out of service";
  }
  return "";
}

std::string SlotVerdict(const SlotStatus& slot) {
  if (!slot.result) return {};
  switch (*slot.result) {
    case OutcomeResult::Passed: return "PASS";
    case OutcomeResult::Failed: return "FAIL: " + slot.statusLine;
    case OutcomeResult::Unserved: return "not served";
  }
  return {};
}

std::string SummaryLine(const StationCounts& counts) {
  const long long milliseconds = counts.elapsed.count();
  const long long perHour =
      milliseconds > 0 ? static_cast<long long>(counts.passed) * 3'600'000LL / milliseconds : 0;
  return std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed, " +
         std::to_string(perHour) + " passed per hour";
}

std::string SlotLine(const SlotStatus& slot, std::size_t titleWidth) {
  std::string line = Padded(SlotTitle(slot), titleWidth) + "  " + Padded(SlotActivity(slot), kActivityWidth);
  const bool running = slot.state == SlotState::Armed || slot.state == SlotState::Running;
  line += "  " + Padded(running ? Bytes(slot.progress) : std::string(), 19);
  if (!running) line += "  " + SlotVerdict(slot);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::optional<std::string> EventLine(const StationEvent& event, const StationSnapshot& snapshot) {
  if (event.kind == StationEvent::Kind::Notice) return event.text;
  if (event.kind == StationEvent::Kind::Progress || event.slot >= snapshot.slotList.size()) return std::nullopt;
  const SlotStatus& slot = snapshot.slotList[event.slot];
  const std::string title = SlotTitle(slot) + ": ";
  switch (event.kind) {
    case StationEvent::Kind::SlotFound: return title + "found";
    case StationEvent::Kind::Outcome: return title + OutcomeText(slot);
    case StationEvent::Kind::Left: return title + "keypad removed";
    case StationEvent::Kind::OutOfService: return title + "out of service: " + slot.detail;
    default: return title + SlotActivity(slot);
  }
}

std::string TerminalScreen::Erase() {
  if (drawnLines_ == 0) return {};
  // Up to the block's first line; everything from there down goes.
  return "\x1b[" + std::to_string(drawnLines_) + "F\x1b[J";
}

std::string TerminalScreen::Redraw(const StationSnapshot& snapshot, std::size_t width) {
  std::size_t titleWidth = 0;
  for (const SlotStatus& slot : snapshot.slotList) titleWidth = std::max(titleWidth, SlotTitle(slot).size());
  std::string bytes = Erase();
  for (const SlotStatus& slot : snapshot.slotList) bytes += FitWidth(SlotLine(slot, titleWidth), width) + "\n";
  bytes += FitWidth(SummaryLine(snapshot.counts), width) + "\n";
  drawnLines_ = snapshot.slotList.size() + 1;
  return bytes;
}

std::string TerminalScreen::PrintAbove(const std::string& line, const StationSnapshot& snapshot, std::size_t width) {
  std::string bytes = Erase() + line + "\n";
  drawnLines_ = 0;
  return bytes + Redraw(snapshot, width);
}

}  // namespace lumivane
