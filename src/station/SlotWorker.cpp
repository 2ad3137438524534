#include "station/SlotWorker.h"

#include <utility>

#include "station/StopWait.h"

namespace lumivane {

SlotWorker::~SlotWorker() {
  StopNow();
  Join();
}

void SlotWorker::StopNow() {
  beforeWriting_.request_stop();
  now_.request_stop();
}

void SlotWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void SlotWorker::StartRun(SlotRunner& runner, SlotTarget target) {
  Join();
  beforeWriting_ = std::stop_source();
  now_ = std::stop_source();
  SlotStop stop{beforeWriting_.get_token(), now_.get_token()};
  thread_ = std::thread([this, &runner, target = std::move(target), stop = std::move(stop)] {
    StationMessage ended = StationMessage::Of(StationMessage::Kind::RunEnded, slot_);
    ended.outcome = runner.Run(target, *this, stop);
    mailbox_.Post(std::move(ended));
  });
}

void SlotWorker::StartWatch(PresenceProbe& probe, std::string port, Clock& clock, std::chrono::milliseconds interval) {
  Join();
  now_ = std::stop_source();
  thread_ = std::thread([this, &probe, port = std::move(port), &clock, interval, stop = now_.get_token()] {
    Watch(probe, port, clock, interval, stop);
  });
}

void SlotWorker::Watch(PresenceProbe& probe, const std::string& port, Clock& clock, std::chrono::milliseconds interval,
                       std::stop_token stop) {
  int silent = 0;
  bool unusable = false;
  while (!stop.stop_requested()) {
    const Clock::TimePoint next = clock.Now() + interval;
    const PresenceAnswer answer = probe.Probe(port, stop);
    if (stop.stop_requested()) return;
    if (answer.presence == Presence::LineUnusable) {
      if (!unusable) {
        StationMessage message = StationMessage::Of(StationMessage::Kind::LineUnusable, slot_);
        message.text = answer.reason;
        mailbox_.Post(std::move(message));
      }
      unusable = true;
      SleepUnlessStopped(clock, next, stop);
      continue;
    }
    // A line that went away and came back had its keypad taken off: the
    // one that answers now, if any, is another.
    silent = answer.presence == Presence::NoAnswer ? silent + 1 : 0;
    if (unusable || silent >= kSilentProbesForGone) {
      mailbox_.Post(StationMessage::Of(StationMessage::Kind::KeypadGone, slot_));
      return;
    }
    SleepUnlessStopped(clock, next, stop);
  }
}

void SlotWorker::OnPhase(DownloadPhase phase) {
  StationMessage message = StationMessage::Of(StationMessage::Kind::Phase, slot_);
  message.phase = phase;
  mailbox_.Post(std::move(message));
}

void SlotWorker::OnProgress(const PassProgress& progress) {
  StationMessage message = StationMessage::Of(StationMessage::Kind::Progress, slot_);
  message.progress = progress;
  mailbox_.Post(std::move(message));
}

}  // namespace lumivane
