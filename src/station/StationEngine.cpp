#include "station/StationEngine.h"

#include <utility>

#include "station/StationView.h"

namespace lumivane {

std::vector<std::string> ClosingLines(const StationSummary& summary) {
  std::vector<std::string> lines{"Station: " + SummaryLine(summary.counts)};
  for (const std::string& slot : summary.incompleteSlots) {
    lines.push_back("The keypad in " + slot + " holds an incomplete image: download it again");
  }
  return lines;
}

struct StationEngine::Slot {
  Slot(StationMailbox& mailbox, std::size_t id) : id(id), worker(mailbox, id) {}

  std::size_t id;
  std::string device;  // what a download opens: the hidraw node, or the RS232 port
  bool running = false;
  bool stopAsked = false;      // the station asked the run to end before writing
  bool leftDuringRun = false;  // USB: unplugged while its download ran
  std::optional<KeypadDevice> returned;  // ... and plugged in again since
  Clock::TimePoint runStart{};
  SlotWorker worker;
};

StationEngine::StationEngine(StationSetup setup, StationParts parts)
    : setup_(std::move(setup)), parts_(parts) {}

StationEngine::~StationEngine() {
  if (monitorThread_.joinable()) monitorThread_.request_stop();
  for (auto& slot : slots_) slot->worker.StopNow();
}

void StationEngine::RequestStop() { mailbox_.Post(StationMessage::Of(StationMessage::Kind::Stop)); }

void StationEngine::StopNow() { mailbox_.Post(StationMessage::Of(StationMessage::Kind::StopNow)); }

StationSummary StationEngine::Run() {
  start_ = parts_.clock.Now();
  if (setup_.link == StationSetup::Link::Usb && parts_.monitor != nullptr) {
    monitorThread_ = std::jthread([this](std::stop_token stop) {
      StationMessage ended = StationMessage::Of(StationMessage::Kind::MonitorEnded);
      ended.text = parts_.monitor->Run(
          [this](const DeviceEvent& event) {
            StationMessage message = StationMessage::Of(event.kind == DeviceEvent::Kind::Arrived
                                                            ? StationMessage::Kind::DeviceArrived
                                                            : StationMessage::Kind::DeviceLeft);
            message.device = event.device;
            mailbox_.Post(std::move(message));
          },
          stop);
      mailbox_.Post(std::move(ended));
    });
  }
  if (setup_.link == StationSetup::Link::Rs232) {
    for (const std::string& port : setup_.ports) {
      Slot& slot = AddSlot(port, port, "");
      Arm(slot);
    }
  }
  while (!Finished()) {
    StationMessage message = mailbox_.Wait();
    Handle(message);
  }
  if (monitorThread_.joinable()) {
    monitorThread_.request_stop();
    monitorThread_.join();
  }
  StopAll();
  for (auto& slot : slots_) slot->worker.Join();
  summary_.counts = snapshot_.counts;
  summary_.counts.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(parts_.clock.Now() - start_);
  return summary_;
}

bool StationEngine::Finished() const { return draining_ && running_ == 0; }

void StationEngine::Handle(StationMessage& message) {
  snapshot_.counts.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(parts_.clock.Now() - start_);
  Slot* slot = message.slot < slots_.size() ? slots_[message.slot].get() : nullptr;
  switch (message.kind) {
    case StationMessage::Kind::DeviceArrived: OnArrived(message.device); break;
    case StationMessage::Kind::DeviceLeft: OnLeft(message.device); break;
    case StationMessage::Kind::MonitorEnded:
      if (message.text.empty()) break;
      summary_.monitorFailure = message.text;
      BeginDrain("The device monitor stopped: " + message.text + "; no more keypads are armed");
      break;
    case StationMessage::Kind::Phase:
      if (slot) OnPhase(*slot, message.phase);
      break;
    case StationMessage::Kind::Progress:
      if (slot == nullptr || !slot->running) break;
      snapshot_.slotList[slot->id].progress = message.progress;
      Tell(StationEvent::Kind::Progress, slot->id);
      break;
    case StationMessage::Kind::RunEnded:
      if (slot) OnRunEnded(*slot, message.outcome);
      break;
    case StationMessage::Kind::KeypadGone:
      if (slot) OnKeypadGone(*slot);
      break;
    case StationMessage::Kind::LineUnusable:
      if (slot) OnLineUnusable(*slot, message.text);
      break;
    case StationMessage::Kind::Stop:
      if (!draining_) {
        BeginDrain("Stopping: no more keypads are armed");
      } else {
        StopAll();
      }
      break;
    case StationMessage::Kind::StopNow: StopAll(); break;
  }
}

StationEngine::Slot& StationEngine::AddSlot(const std::string& name, const std::string& device,
                                            const std::string& serialNumber) {
  const std::size_t id = slots_.size();
  slots_.push_back(std::make_unique<Slot>(mailbox_, id));
  slots_.back()->device = device;
  SlotStatus status;
  status.id = id;
  status.name = name;
  status.serialNumber = serialNumber;
  status.state = SlotState::Idle;
  snapshot_.slotList.push_back(std::move(status));
  Tell(StationEvent::Kind::SlotFound, id);
  return *slots_.back();
}

StationEngine::Slot* StationEngine::FindSlot(const std::string& name) {
  for (const SlotStatus& status : snapshot_.slotList) {
    if (status.name == name) return slots_[status.id].get();
  }
  return nullptr;
}

void StationEngine::SetState(Slot& slot, SlotState state, StationEvent::Kind event) {
  snapshot_.slotList[slot.id].state = state;
  Tell(event, slot.id);
}

void StationEngine::Tell(StationEvent::Kind kind, std::size_t slot, std::string text) {
  parts_.observer.OnEvent(StationEvent{kind, slot, std::move(text)}, snapshot_);
}

void StationEngine::Arm(Slot& slot) {
  SlotStatus& status = snapshot_.slotList[slot.id];
  if (draining_) {
    SetState(slot, SlotState::Idle, StationEvent::Kind::Idle);
    return;
  }
  slot.running = true;
  slot.stopAsked = false;
  slot.leftDuringRun = false;
  slot.returned.reset();
  slot.runStart = parts_.clock.Now();
  ++running_;
  status.phase.reset();
  status.progress = {};
  SetState(slot, SlotState::Armed, StationEvent::Kind::Armed);
  slot.worker.StartRun(parts_.runner, SlotTarget{SlotTitle(status), slot.device, status.serialNumber});
}

void StationEngine::OnArrived(const KeypadDevice& device) {
  Slot* slot = FindSlot(device.port);
  if (slot == nullptr) {
    Arm(AddSlot(device.port, device.node, device.serialNumber));
    return;
  }
  if (slot->running) {
    // Back while its download still ends: armed again once that is over.
    if (slot->leftDuringRun) slot->returned = device;
    return;
  }
  const SlotState state = snapshot_.slotList[slot->id].state;
  if (state != SlotState::Empty && state != SlotState::Idle) return;  // still there: never rewritten
  slot->device = device.node;
  snapshot_.slotList[slot->id].serialNumber = device.serialNumber;
  Arm(*slot);
}

void StationEngine::OnLeft(const KeypadDevice& device) {
  Slot* slot = FindSlot(device.port);
  if (slot == nullptr || slot->device != device.node) return;
  if (slot->running) {
    // Its download finds that out itself, as `download` does, and ends:
    // not served when nothing was written yet, else failed with its reason.
    slot->leftDuringRun = true;
    slot->returned.reset();
    return;
  }
  snapshot_.slotList[slot->id].phase.reset();
  SetState(*slot, SlotState::Empty, StationEvent::Kind::Left);
}

void StationEngine::OnPhase(Slot& slot, DownloadPhase phase) {
  if (!slot.running) return;
  SlotStatus& status = snapshot_.slotList[slot.id];
  // The end command shows the last pass's count, which the outcome keeps.
  if (phase != status.phase && phase != DownloadPhase::Ending) status.progress = {};
  status.phase = phase;
  status.state = SlotState::Running;
  Tell(StationEvent::Kind::Phase, slot.id);
}

void StationEngine::OnRunEnded(Slot& slot, const SlotOutcome& outcome) {
  slot.worker.Join();
  slot.running = false;
  --running_;
  KeepOutcome(slot, outcome);
  AfterOutcome(slot);
}

void StationEngine::KeepOutcome(Slot& slot, const SlotOutcome& outcome) {
  SlotStatus& status = snapshot_.slotList[slot.id];
  SlotOutcome seen = outcome;
  seen.keypadLeft = outcome.keypadLeft || slot.leftDuringRun;
  const OutcomeResult result = ClassifyOutcome(seen, slot.stopAsked);
  status.result = result;
  status.statusLine = outcome.statusLine;
  status.detail = outcome.detail;
  status.phase.reset();
  if (result == OutcomeResult::Passed) ++snapshot_.counts.passed;
  if (result == OutcomeResult::Failed) ++snapshot_.counts.failed;
  if (stoppingNow_ && outcome.keypad == KeypadHolds::Incomplete) {
    summary_.incompleteSlots.push_back(SlotTitle(status));
  }
  const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(parts_.clock.Now() - slot.runStart);
  std::string failure;
  const bool kept = parts_.recorder.Record(StationOutcome{status, outcome, result, duration}, &failure);
  Tell(StationEvent::Kind::Outcome, slot.id);
  if (!kept && summary_.logFailure.empty()) {
    summary_.logFailure = failure;
    BeginDrain("The log cannot be written: " + failure + "; no more keypads are armed");
  }
  if (setup_.passLimit > 0 && snapshot_.counts.passed >= setup_.passLimit && !draining_) {
    const std::size_t passed = snapshot_.counts.passed;
    BeginDrain(std::to_string(passed) + (passed == 1 ? " keypad has" : " keypads have") + " passed; no more are armed");
  }
}

void StationEngine::AfterOutcome(Slot& slot) {
  if (setup_.link == StationSetup::Link::Rs232) {
    if (draining_) return SetState(slot, SlotState::Idle, StationEvent::Kind::Idle);
    SetState(slot, SlotState::AwaitingRemoval, StationEvent::Kind::AwaitingRemoval);
    slot.worker.StartWatch(*parts_.probe, slot.device, parts_.clock, setup_.probeInterval);
    return;
  }
  if (!slot.leftDuringRun) return SetState(slot, SlotState::AwaitingRemoval, StationEvent::Kind::AwaitingRemoval);
  if (!slot.returned) return SetState(slot, SlotState::Empty, StationEvent::Kind::Left);
  // Left and came back while its download ended: armed (unless the station stops).
  const KeypadDevice device = *slot.returned;
  snapshot_.slotList[slot.id].state = SlotState::Empty;
  OnArrived(device);
}

void StationEngine::OnKeypadGone(Slot& slot) {
  slot.worker.Join();
  const SlotState state = snapshot_.slotList[slot.id].state;
  if (!slot.running && (state == SlotState::AwaitingRemoval || state == SlotState::OutOfService)) Arm(slot);
}

// The watch goes on: once the line can be used again, the slot is armed.
void StationEngine::OnLineUnusable(Slot& slot, const std::string& why) {
  if (slot.running) return;
  snapshot_.slotList[slot.id].detail = why;
  SetState(slot, SlotState::OutOfService, StationEvent::Kind::OutOfService);
}

void StationEngine::BeginDrain(const std::string& why) {
  if (draining_) return;
  draining_ = true;
  Notice(why);
  std::size_t writing = 0;
  for (auto& slot : slots_) {
    if (!slot->running) {
      slot->worker.StopNow();  // an RS232 watch
      continue;
    }
    const std::optional<DownloadPhase> phase = snapshot_.slotList[slot->id].phase;
    if (!phase || BeforeWriting(*phase)) {
      slot->stopAsked = true;
      slot->worker.StopBeforeWriting();
    } else {
      ++writing;
    }
  }
  if (writing > 0) {
    Notice(std::to_string(writing) + (writing == 1 ? " transfer finishes" : " transfers finish") +
           " first; Ctrl-C stops them, and their keypads then hold an incomplete image");
  }
}

void StationEngine::StopAll() {
  if (!draining_) {
    Notice("Stopping every download now");
  } else if (!stoppingNow_ && running_ > 0) {
    Notice("Stopping the transfers under way now");
  }
  draining_ = true;
  stoppingNow_ = true;
  for (auto& slot : slots_) {
    const std::optional<DownloadPhase> phase = snapshot_.slotList[slot->id].phase;
    if (slot->running && (!phase || BeforeWriting(*phase))) slot->stopAsked = true;
    slot->worker.StopNow();
  }
}

}  // namespace lumivane
