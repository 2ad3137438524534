#include "FakeDownloadHost.h"

#include <cstdio>

#include "download/DownloadChain.h"

namespace lumivane::test {

const char* MessageName(DownloadMessage message) {
  switch (message) {
    case DownloadMessage::Translate: return "translate";
    case DownloadMessage::Report: return "report";
    case DownloadMessage::Transfer: return "transfer";
  }
  return "?";
}

std::string FiveDigits(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%05u", value);
  return text;
}

bool FakeDownloadHost::DeliverNext(DownloadChain& chain) {
  if (queue.empty()) return false;
  const DownloadMessage message = queue.front();
  queue.pop_front();
  chain.OnMessage(message);
  return true;
}

int FakeDownloadHost::Run(DownloadChain& chain, int maxTicks) {
  int ticks = 0;
  for (;;) {
    if (DeliverNext(chain)) continue;
    if (!timerRunning || ticks >= maxTicks) return ticks;
    ++ticks;
    if (clock_ != nullptr) clock_->Advance(std::chrono::milliseconds(200));
    chain.OnReadyTimer();
  }
}

std::vector<std::string> FakeDownloadHost::CallsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const auto& call : calls)
    if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
  return found;
}

bool FakeDownloadHost::Called(const std::string& call) const {
  for (const auto& c : calls)
    if (c == call) return true;
  return false;
}

void FakeDownloadHost::OnPhase(const PhaseChange& change) {
  phases.push_back(change.to);
  Record(std::string("phase:") + PhaseName(change.to) + (change.awaitsYes ? ":yes" : ""));
}

void FakeDownloadHost::OnLine(const std::string& line, LineKind kind) {
  statusLines.push_back(line);
  Record((kind == LineKind::Detail ? "detail:" : "status:") + line);
}

void FakeDownloadHost::OnLinesTranslated(int lines) { Record("lines:" + FiveDigits(static_cast<unsigned>(lines))); }

void FakeDownloadHost::OnProgress(const DownloadProgress& progress) {
  if (progress.begins) {
    Record(std::string("label:") + PassLabel(progress.pass));
    Record("range:" + std::to_string(progress.total));
    return;
  }
  Record("bytes:" + FiveDigits(progress.done));
  Record("position:" + std::to_string(progress.done));
  if (progress.done == 0) return;
  ++steps;
  if (onStep) onStep();
}

void FakeDownloadHost::OnActivity(DownloadActivity activity) {
  Record(activity == DownloadActivity::Busy      ? "activity:busy"
         : activity == DownloadActivity::Waiting ? "activity:waiting"
                                                 : "activity:none");
}

void FakeDownloadHost::OnOutcome(const DownloadOutcome& outcome) {
  outcomes.push_back(outcome);
  Record("outcome");
}

void FakeDownloadHost::Post(DownloadMessage message) {
  queue.push_back(message);
  Record(std::string("post:") + MessageName(message));
}

void FakeDownloadHost::StartReadyTimer(int periodMs) {
  timerRunning = true;
  Record("timer:start:" + std::to_string(periodMs));
}

void FakeDownloadHost::StopReadyTimer() {
  timerRunning = false;
  Record("timer:stop");
}

void FakeDownloadHost::DeliverStopRequests() {
  ++stopChecks;
  if (onStopCheck) onStopCheck();
}

BackupResult FakeDownloadHost::SaveBackup(const std::string& path, const std::vector<std::uint8_t>& image) {
  Record("backup:" + path);
  if (!backupFailure.empty()) return {false, backupFailure};
  backups.emplace_back(path, image);
  return {true, {}};
}

int FakeDownloadHost::WaitKeyPress(std::chrono::milliseconds timeout) {
  if (!typedKeys.empty()) {
    const int key = typedKeys.front();
    typedKeys.pop_front();
    return key;
  }
  if (keySource) return keySource(timeout);
  if (keys.empty() || keys.front().after > timeout) {
    if (!keys.empty()) keys.front().after -= timeout;
    if (clock_ != nullptr) clock_->Advance(timeout);
    return -1;
  }
  const ScriptedKey next = keys.front();
  keys.pop_front();
  if (clock_ != nullptr) clock_->Advance(next.after);
  return next.key;
}

}  // namespace lumivane::test
