#include "station/StationMailbox.h"

#include <utility>

namespace lumivane {

void StationMailbox::Post(StationMessage message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (message.kind == StationMessage::Kind::Progress) {
      // Only the run of progress reports at the end is searched: the
      // newest report of a slot never passes another message of it.
      for (auto it = queue_.rbegin(); it != queue_.rend() && it->kind == StationMessage::Kind::Progress; ++it) {
        if (it->slot == message.slot) {
          it->progress = message.progress;
          return;
        }
      }
    }
    queue_.push_back(std::move(message));
  }
  arrived_.notify_one();
}

StationMessage StationMailbox::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait(lock, [this] { return !queue_.empty(); });
  StationMessage message = std::move(queue_.front());
  queue_.pop_front();
  return message;
}

}  // namespace lumivane
